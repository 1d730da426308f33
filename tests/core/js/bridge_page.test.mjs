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
const COW = "\u{1F404}";

// How to subscribe to each listener kind, and how the shell reaches it with a valid argument.
const KINDS = [
  { name: "menu", sub: "onMenuCommand", entry: "__cvDesktopDispatch", script: "dispatch-script", arg: "search" },
  { name: "nav", sub: "onNavigate", entry: "__cvDesktopNavigate", script: "navigate-script", arg: "/farm/animals" },
  { name: "auth", sub: "onAuthCallback", entry: "__cvDesktopAuth", script: "auth-script", arg: "corvane-desktop://auth?x" },
].map((k) => ({ ...k, type: `${k.name}Subscribed`, snapshot: k.name !== "menu", fire: (w) => w[k.entry](k.arg) }));

// handler: "record" logs posts; "absent" has no webkit; "unregistered" lacks cvDesktop; "throws" throws on post.
function page({ handler = "record", bridge = true, dispatchEvent } = {}) {
  const log = [], target = new EventTarget();
  const ctx = vm.createContext({ Event });
  const win = vm.runInContext("window = globalThis", ctx);
  win.dispatchEvent = dispatchEvent ?? ((e) => target.dispatchEvent(e));
  win.addEventListener = (type, fn) => target.addEventListener(type, fn);
  const postMessage = handler === "throws" ? () => { throw new Error("handler gone"); } : (m) => log.push(structuredClone(m));
  if (handler !== "absent") win.webkit = { messageHandlers: handler === "unregistered" ? {} : { cvDesktop: { postMessage } } };
  const run = (src) => vm.runInContext(src, ctx);
  if (bridge) run(PRELOAD);
  return { win, log, run };
}

test("window definitions are locked down, the api is frozen, and a second injection changes nothing", () => {
  const { win, log, run } = page();
  const [api, dispatch] = [win.cvDesktop, win.__cvDesktopDispatch];
  const attrs = (name) => { const d = Object.getOwnPropertyDescriptor(win, name); return [d.writable, d.configurable, d.enumerable]; };
  for (const name of ["cvDesktop", ...KINDS.map((k) => k.entry)]) assert.deepEqual(attrs(name), [false, false, false], name);
  assert.deepEqual(attrs("print").slice(0, 2), [false, false]);
  assert.deepEqual([Object.isFrozen(api), api.platform, api.version], [true, "linux", "1.4.2"]);
  api.onMenuCommand(() => {});
  run(PRELOAD);
  assert.deepEqual([win.cvDesktop === api, win.__cvDesktopDispatch === dispatch, win.__cvDesktopDispatch("print"), log.length],
    [true, true, 1, 1]);
});

test("listeners: subscribing, removal, throwing listeners, snapshot or live iteration", () => {
  for (const kind of KINDS) {
    const { win, log } = page();
    for (const bad of [undefined, 5, {}]) assert.equal(win.cvDesktop[kind.sub](bad)(), undefined, kind.name);
    assert.deepEqual(log, [], kind.name);

    // A throwing listener is not counted and does not stop later ones; a repeat posts again but registers once.
    let calls = 0;
    const cb = () => { calls++; };
    win.cvDesktop[kind.sub](() => { throw new Error("boom"); });
    const off = win.cvDesktop[kind.sub](cb);
    win.cvDesktop[kind.sub](cb);
    assert.deepEqual(log, Array(3).fill({ type: kind.type }), kind.name);
    assert.deepEqual([kind.fire(win), calls], [1, 1], kind.name);
    off();
    assert.deepEqual([kind.fire(win), calls, log.length], [0, 1, 3], kind.name);

    // A listener that removes a later one: snapshots still call it, the live set does not.
    const order = [];
    let offB;
    win.cvDesktop[kind.sub](() => { order.push("a"); offB(); });
    offB = win.cvDesktop[kind.sub](() => { order.push("b"); });
    assert.equal(kind.fire(win), kind.snapshot ? 2 : 1, kind.name);
    assert.deepEqual(order, kind.snapshot ? ["a", "b"] : ["a"], kind.name);
  }
});

// Each kind's script from the binary reaches its listeners, or gives -1 where the bridge never ran.
test("entry points accept only their exact commands, paths and auth urls", () => {
  const astral = "/" + COW.repeat(10) + "a".repeat(501); // 512 characters, 522 UTF-16 units
  const cases = {
    menu: [["new-animal", 1], ["import", 1], ["export", 1], ["print", 1], ["settings", 1],
      ["quit", 0], ["New-Animal", 0], ["print ", 0], [new String("print"), 0]],
    nav: [["/", 1], ["/farm/../x?y=1#z", 1], ["/" + "a".repeat(511), 1], ["/" + COW + "a".repeat(509), 1],
      ["/" + "a".repeat(512), 0], [astral, 0], ["/a b", 0], ["/a\u00A0b", 0], ["/a\\b", 0], ["//x", 0],
      ["farm", 0], [new String("/x"), 0]],
    auth: [["corvane-desktop://auth", 1], ["CORVANE-DESKTOP://AUTH#s", 1], ["Corvane-Desktop://Auth/cb", 1],
      ["corvane-desktop://authx", 0], ["corvane-desktop:/auth", 0], ["xcorvane-desktop://auth", 0],
      ["https://auth", 0], [new String("corvane-desktop://auth"), 0]],
  };
  for (const kind of KINDS) {
    const { win, run } = page();
    const got = [];
    win.cvDesktop[kind.sub]((x) => got.push(x));
    const script = rules(kind.script, kind.arg);
    assert.deepEqual([run(script), page({ bridge: false }).run(script)], [1, -1], kind.name);
    for (const [arg, want] of cases[kind.name]) assert.equal(win[kind.entry](arg), want, `${kind.name} ${String(arg)}`);
    assert.deepEqual(got, [kind.arg, ...cases[kind.name].filter(([, w]) => w).map(([a]) => a)], kind.name);
  }

  // The shell counts characters and makes a script for the astral path; the page still refuses it.
  const { win, run } = page();
  win.cvDesktop.onNavigate(() => assert.fail("refused path reached a listener"));
  assert.equal(run(rules("navigate-script", astral)), 0);
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
    [(a) => a.setBadge("12"), [{ type: "setBadge", n: 12 }]],
    [(a) => a.openExternal(42), [{ type: "openExternal", url: "42" }]],
    [(a) => a.notify({ title: null, body: undefined, tag: null }), [nulls]],
    [(a) => a.notify({ title: 0, body: 0, tag: false, url: "", extra: 1 }),
      [{ type: "notify", title: "0", body: "0", tag: "false", url: "" }]],
    [(a) => { a.notify(null); a.notify(undefined); a.notify("t"); }, []],
  ];
  for (const [call, want] of cases) {
    const { win, log } = page();
    assert.deepEqual((call(win.cvDesktop), log), want, String(call));
  }
});

test("a missing or failing handler is swallowed and the api keeps working", () => {
  for (const handler of ["absent", "unregistered", "throws"]) {
    const { win } = page({ handler });
    const api = win.cvDesktop;
    assert.deepEqual([api.setBadge(3), api.openExternal("x"), api.notify({ title: "t" }), win.print()], Array(4).fill(undefined));
    for (const kind of KINDS) {
      api[kind.sub](() => {});
      assert.equal(kind.fire(win), 1, `${handler} ${kind.name}`);
    }
  }
});
