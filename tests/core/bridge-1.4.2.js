(() => {
  if (window.cvDesktop) return;
  const post = (m) => { try { window.webkit.messageHandlers.cvDesktop.postMessage(m); } catch (e) {} };
  const subs = new Set(), authSubs = new Set(), navSubs = new Set();
  const COMMANDS = ["new-animal","search","import","export","print","settings"];
  const str = (x) => (x == null ? null : String(x));
  const api = Object.freeze({
    platform: "darwin",
    version: "1.4.2",
    onMenuCommand(cb) {
      if (typeof cb !== "function") return () => {};
      subs.add(cb); post({ type: "menuSubscribed" });
      return () => { subs.delete(cb); };
    },
    setBadge(n) { post({ type: "setBadge", n: Number(n) }); },
    openExternal(url) { post({ type: "openExternal", url: String(url) }); },
    onNavigate(cb) {
      if (typeof cb !== "function") return () => {};
      navSubs.add(cb); post({ type: "navSubscribed" });
      return () => { navSubs.delete(cb); };
    },
    onAuthCallback(cb) {
      if (typeof cb !== "function") return () => {};
      authSubs.add(cb); post({ type: "authSubscribed" });
      return () => { authSubs.delete(cb); };
    },
    notify(n) { if (n && typeof n === "object") post({ type: "notify", title: String(n.title ?? ""), body: str(n.body), tag: str(n.tag), url: str(n.url) }); }
  });
  Object.defineProperty(window, "cvDesktop", { value: api, writable: false, configurable: false, enumerable: false });
  // N11: WKWebView does nothing for window.print(). The page's print layout is made on beforeprint (ui/print), then
  // the shell prints with the system dialog; it sends afterprint when it is done.
  Object.defineProperty(window, "print", { writable: false, configurable: false, value: () => {
    try { window.dispatchEvent(new Event("beforeprint")); } catch (e) {}
    post({ type: "print" });
  } });
  Object.defineProperty(window, "__cvDesktopDispatch", { writable: false, configurable: false, enumerable: false, value: (cmd) => {
    if (!COMMANDS.includes(cmd)) return 0;
    let n = 0; for (const cb of subs) { try { cb(cmd); n++; } catch (e) {} } return n;
  } });
  Object.defineProperty(window, "__cvDesktopNavigate", { writable: false, configurable: false, enumerable: false, value: (path) => {
    if (typeof path !== "string" || !/^[/](?![/])[^\\\s]{0,511}$/.test(path)) return 0;
    let n = 0; for (const cb of [...navSubs]) { try { cb(path); n++; } catch (e) {} } return n;
  } });
  Object.defineProperty(window, "__cvDesktopAuth", { writable: false, configurable: false, enumerable: false, value: (url) => {
    if (typeof url !== "string" || !/^corvane-desktop:[/][/]auth(?:[/?#]|$)/i.test(url)) return 0;
    let n = 0; for (const cb of [...authSubs]) { try { cb(url); n++; } catch (e) {} } return n;
  } });
})();