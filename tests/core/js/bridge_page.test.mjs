// Runs the bridge script produced by corvane-rules in a real JavaScript engine
// against a minimal window stand-in.
import { test } from "node:test";
import assert from "node:assert/strict";
import vm from "node:vm";
import { execFileSync } from "node:child_process";

const RULES = process.env.CORVANE_RULES;
assert.ok(RULES, "CORVANE_RULES must point at the corvane-rules binary");

function rules(...args) {
  const out = execFileSync(RULES, args, { encoding: "utf8" });
  assert.ok(out.endsWith("\n") && !out.endsWith("\n\n"), `one trailing line feed expected: ${args[0]}`);
  return out.slice(0, -1);
}

const PRELOAD = rules("preload-script", "1.4.2");
const CALLS = {
  menu: { script: rules("dispatch-script", "new-animal"), arg: "new-animal" },
  nav: { script: rules("navigate-script", "/farm/animals"), arg: "/farm/animals" },
  auth: { script: rules("auth-script", "corvane-desktop://auth?code=x"), arg: "corvane-desktop://auth?code=x" },
};

// Listener kinds: how to subscribe and how the shell reaches them with a valid argument.
const KINDS = [
  { name: "menu", sub: "onMenuCommand", type: "menuSubscribed", fire: (w) => w.__cvDesktopDispatch("search"), snapshot: false },
  { name: "nav", sub: "onNavigate", type: "navSubscribed", fire: (w) => w.__cvDesktopNavigate("/farm"), snapshot: true },
  { name: "auth", sub: "onAuthCallback", type: "authSubscribed", fire: (w) => w.__cvDesktopAuth("corvane-desktop://auth"), snapshot: true },
];

// handler: "record" posts into log; "absent" has no webkit at all; "unregistered" lacks
// the cvDesktop handler; "throws" has a postMessage that throws.
function page({ handler = "record", bridge = true, dispatchEvent } = {}) {
  const log = [];
  const target = new EventTarget();
  const ctx = vm.createContext({ Event });
  const win = vm.runInContext("window = globalThis", ctx);
  win.dispatchEvent = dispatchEvent ?? ((e) => target.dispatchEvent(e));
  win.addEventListener = (type, fn) => target.addEventListener(type, fn);
  const handlers = {
    record: { cvDesktop: { postMessage: (m) => log.push(structuredClone(m)) } },
    unregistered: {},
    throws: { cvDesktop: { postMessage: () => { throw new Error("handler gone"); } } },
  };
  if (handler !== "absent") win.webkit = { messageHandlers: handlers[handler] };
  const run = (src) => vm.runInContext(src, ctx);
  if (bridge) run(PRELOAD);
  return { win, log, run };
}

test("call scripts reach the listeners, and give -1 where the bridge never ran", () => {
  for (const [name, { script, arg }] of Object.entries(CALLS)) {
    const kind = KINDS.find((k) => k.name === name);
    const { win, run } = page();
    const got = [];
    win.cvDesktop[kind.sub]((x) => got.push(x));
    assert.equal(run(script), 1, name);
    assert.deepEqual(got, [arg], name);
    assert.equal(page({ bridge: false }).run(script), -1, name);
  }
});

test("window definitions are locked down and the api is frozen", () => {
  const { win } = page();
  for (const name of ["cvDesktop", "__cvDesktopDispatch", "__cvDesktopNavigate", "__cvDesktopAuth"]) {
    const d = Object.getOwnPropertyDescriptor(win, name);
    assert.deepEqual([d.writable, d.configurable, d.enumerable], [false, false, false], name);
  }
  const p = Object.getOwnPropertyDescriptor(win, "print");
  assert.deepEqual([p.writable, p.configurable], [false, false]);
  assert.ok(Object.isFrozen(win.cvDesktop));
  assert.deepEqual([win.cvDesktop.platform, win.cvDesktop.version], ["darwin", "1.4.2"]);
});

test("subscriptions: non-functions are ignored, repeats post but register once, removal is silent", () => {
  for (const kind of KINDS) {
    const { win, log } = page();
    for (const bad of [undefined, null, 5, "fn", {}]) {
      const off = win.cvDesktop[kind.sub](bad);
      assert.equal(typeof off, "function", kind.name);
      assert.equal(off(), undefined);
    }
    assert.deepEqual(log, [], kind.name);

    let calls = 0;
    const cb = () => { calls++; };
    const off = win.cvDesktop[kind.sub](cb);
    win.cvDesktop[kind.sub](cb);
    assert.deepEqual(log, [{ type: kind.type }, { type: kind.type }], kind.name);
    assert.equal(kind.fire(win), 1, kind.name);
    assert.equal(calls, 1, kind.name);
    off();
    assert.equal(log.length, 2, kind.name);
    assert.equal(kind.fire(win), 0, kind.name);
  }
});

test("dispatch accepts exactly the six commands, by strict equality", () => {
  const { win } = page();
  const got = [];
  win.cvDesktop.onMenuCommand((c) => got.push(c));
  for (const bad of ["", "New-Animal", "print ", "quit", undefined, ["print"], new String("print")]) {
    assert.equal(win.__cvDesktopDispatch(bad), 0, String(bad));
  }
  assert.deepEqual(got, []);
  const all = ["new-animal", "search", "import", "export", "print", "settings"];
  for (const c of all) assert.equal(win.__cvDesktopDispatch(c), 1, c);
  assert.deepEqual(got, all);
});

test("navigate entry pattern counts UTF-16 units and refuses spaces, backslashes, double slashes", () => {
  const cow = "\u{1F404}";
  const cases = [
    ["/", 1], ["/farm/../x?y=1#z", 1], ["/" + "a".repeat(511), 1], ["/" + cow + "a".repeat(509), 1],
    ["/" + "a".repeat(512), 0], ["/" + cow.repeat(10) + "a".repeat(501), 0],
    ["/a b", 0], ["/a\tb", 0], ["/a\u00A0b", 0], ["/a\u2028b", 0], ["/a\\b", 0], ["/a\n", 0],
    ["//x", 0], ["farm", 0], ["", 0], [42, 0], [new String("/x"), 0],
  ];
  const { win } = page();
  const got = [];
  win.cvDesktop.onNavigate((p) => got.push(p));
  for (const [path, want] of cases) assert.equal(win.__cvDesktopNavigate(path), want, JSON.stringify(String(path)));
  assert.deepEqual(got, cases.filter(([, w]) => w).map(([p]) => p));

  // 512 characters the shell accepts, but 522 UTF-16 units the page refuses.
  const astral = "/" + cow.repeat(10) + "a".repeat(501);
  assert.equal([...astral].length, 512);
  const script = rules("navigate-script", astral);
  assert.notEqual(script, "none");
  const p = page();
  p.win.cvDesktop.onNavigate(() => assert.fail("refused path reached a listener"));
  assert.equal(p.run(script), 0);
});

test("auth entry pattern: scheme in any case, then auth and an end or separator", () => {
  const cases = [
    ["corvane-desktop://auth", 1], ["corvane-desktop://auth?code=x", 1], ["CORVANE-DESKTOP://AUTH#s", 1],
    ["Corvane-Desktop://Auth/cb", 1],
    ["corvane-desktop://authx", 0], ["corvane-desktop:/auth", 0], ["xcorvane-desktop://auth", 0],
    ["corvane-desktop://", 0], ["https://auth", 0], [null, 0], [new String("corvane-desktop://auth"), 0],
  ];
  const { win } = page();
  const got = [];
  win.cvDesktop.onAuthCallback((u) => got.push(u));
  for (const [url, want] of cases) assert.equal(win.__cvDesktopAuth(url), want, String(url));
  assert.deepEqual(got, cases.filter(([, w]) => w).map(([u]) => u));
});

test("a throwing listener is skipped and not counted; later listeners still run", () => {
  for (const kind of KINDS) {
    const { win } = page();
    let reached = false;
    win.cvDesktop[kind.sub](() => { throw new Error("boom"); });
    win.cvDesktop[kind.sub](() => { reached = true; });
    assert.equal(kind.fire(win), 1, kind.name);
    assert.ok(reached, kind.name);
  }
});

test("nav and auth iterate a snapshot, menu dispatch iterates the live set", () => {
  for (const kind of KINDS) {
    const { win } = page();
    const order = [];
    let offB;
    win.cvDesktop[kind.sub](() => { order.push("a"); offB(); });
    offB = win.cvDesktop[kind.sub](() => { order.push("b"); });
    assert.equal(kind.fire(win), kind.snapshot ? 2 : 1, kind.name);
    assert.deepEqual(order, kind.snapshot ? ["a", "b"] : ["a"], kind.name);
  }
});

test("a second injection changes nothing", () => {
  const { win, log, run } = page();
  const api = win.cvDesktop;
  const dispatch = win.__cvDesktopDispatch;
  api.onMenuCommand(() => {});
  run(PRELOAD);
  assert.equal(win.cvDesktop, api);
  assert.equal(win.__cvDesktopDispatch, dispatch);
  assert.equal(win.__cvDesktopDispatch("print"), 1);
  assert.equal(log.length, 1);
});

test("print fires beforeprint on window, then posts, even when the event dispatch throws", () => {
  const { win, log } = page();
  win.addEventListener("beforeprint", (e) => log.push(`event:${e.type}`));
  assert.equal(win.print(), undefined);
  assert.deepEqual(log, ["event:beforeprint", { type: "print" }]);

  const broken = page({ dispatchEvent: () => { throw new Error("no events"); } });
  broken.win.print();
  assert.deepEqual(broken.log, [{ type: "print" }]);
});

test("api members post normalised payloads", () => {
  const nulls = { type: "notify", title: "", body: null, tag: null, url: null };
  const cases = [
    [(a) => a.setBadge("x"), [{ type: "setBadge", n: NaN }]],
    [(a) => a.setBadge(), [{ type: "setBadge", n: NaN }]],
    [(a) => a.setBadge("12"), [{ type: "setBadge", n: 12 }]],
    [(a) => a.openExternal(42), [{ type: "openExternal", url: "42" }]],
    [(a) => a.notify({}), [nulls]],
    [(a) => a.notify({ title: null, body: undefined, tag: null, url: undefined }), [nulls]],
    [(a) => a.notify({ title: 0, body: 0, tag: false, url: "" }),
      [{ type: "notify", title: "0", body: "0", tag: "false", url: "" }]],
    [(a) => a.notify({ title: "t", extra: 1 }), [{ ...nulls, title: "t" }]],
    [(a) => { a.notify(null); a.notify(undefined); a.notify("t"); a.notify(7); }, []],
  ];
  for (const [call, want] of cases) {
    const { win, log } = page();
    call(win.cvDesktop);
    assert.deepEqual(log, want, call.toString());
  }
});

test("a missing or failing handler is swallowed and the api keeps working", () => {
  for (const handler of ["absent", "unregistered", "throws"]) {
    const { win } = page({ handler });
    const api = win.cvDesktop;
    const results = [
      api.setBadge(3), api.openExternal("https://example.com"), api.notify({ title: "t" }), win.print(),
    ];
    assert.deepEqual(results, [undefined, undefined, undefined, undefined], handler);
    for (const kind of KINDS) {
      assert.equal(typeof api[kind.sub](() => {}), "function", handler);
      assert.equal(kind.fire(win), 1, `${handler} ${kind.name}`);
    }
  }
});
