// The browser extension in headless Firefox ESR, loaded unpacked through WebDriver BiDi into a
// temporary profile, talking to the real nolt-safari through the per-user Firefox host manifest
// and to the real nolt-host behind it: the popup lists the host's destinations, and a page
// saved through the extension's native channel arrives in `nolt search`.
// Run with node --experimental-websocket (node 20); exits 77 when Firefox is not installed.
import { spawn, spawnSync } from "node:child_process";
import fs from "node:fs";
import os from "node:os";
import path from "node:path";
import assert from "node:assert/strict";

const SKIP = 77;
// Fixed here so the extension's pages have a known address.
const EXTENSION_UUID = "6e0f1b8a-1c2d-4e3f-8a9b-0c1d2e3f4a5b";
const PNG = "iVBORw0KGgoAAAANSUhEUgAAAAEAAAABCAYAAAAfFcSJAAAADUlEQVR42mP8z8DwHwAFBQIAX8jx0gAAAABJRU5ErkJggg==";

const bin = process.env.NOLT_BIN;
const extensionSource = process.env.NOLT_EXTENSION_DIR;
const hostManifest = process.env.NOLT_FIREFOX_MANIFEST;
const firefox = process.env.NOLT_FIREFOX || "firefox-esr";
if (spawnSync(firefox, ["--version"]).status !== 0) {
  console.log(`skipped: ${firefox} is not installed`);
  process.exit(SKIP);
}

const sleep = (ms) => new Promise((r) => setTimeout(r, ms));
const children = [];
const root = fs.mkdtempSync(path.join(process.env.TMPDIR || os.tmpdir(), "nolt-firefox-"));

function start(command, args, env) {
  const child = spawn(command, args, { env, stdio: ["ignore", "pipe", "pipe"] });
  children.push(child);
  child.output = "";
  child.stdout.on("data", (d) => (child.output += d));
  child.stderr.on("data", (d) => (child.output += d));
  return child;
}

async function waitFor(what, probe, seconds = 30) {
  const deadline = Date.now() + seconds * 1000;
  for (;;) {
    const value = await probe();
    if (value) return value;
    if (Date.now() > deadline) throw new Error(`timed out waiting for ${what}`);
    await sleep(100);
  }
}

// One WebDriver BiDi session; evaluate() runs an expression in a browsing context and returns
// the JSON text it gives back, parsed.
async function bidi(url) {
  const socket = new WebSocket(url);
  await new Promise((resolve, reject) => {
    socket.onopen = resolve;
    socket.onerror = reject;
  });
  let next = 0;
  const pending = new Map();
  socket.onmessage = (event) => {
    const message = JSON.parse(event.data);
    if (message.id === undefined) return;  // an event
    pending.get(message.id)?.(message);
    pending.delete(message.id);
  };
  const call = async (method, params = {}) => {
    const id = ++next;
    socket.send(JSON.stringify({ id, method, params }));
    const reply = await new Promise((resolve) => pending.set(id, resolve));
    if (reply.type === "error") throw new Error(`${method}: ${reply.error}: ${reply.message}`);
    return reply.result;
  };
  return {
    call,
    async evaluate(context, expression) {
      const result = await call("script.evaluate", {
        expression: `(async () => JSON.stringify(await (${expression})))()`,
        target: { context }, awaitPromise: true });
      if (result.type === "exception") throw new Error(result.exceptionDetails.text);
      return result.result.value === undefined ? undefined : JSON.parse(result.result.value);
    },
    close: () => socket.close(),
  };
}

function privateBusConfig(dir) {
  return `<!DOCTYPE busconfig PUBLIC "-//freedesktop//DTD D-BUS Bus Configuration 1.0//EN"
 "http://www.freedesktop.org/standards/dbus/1.0/busconfig.dtd">
<busconfig>
  <type>session</type>
  <listen>unix:dir=${dir}</listen>
  <policy context="default">
    <allow send_destination="*" eavesdrop="true"/>
    <allow eavesdrop="true"/>
    <allow own="*"/>
  </policy>
</busconfig>
`;
}

async function main() {
  const home = path.join(root, "home");
  const runtime = path.join(root, "run");
  const profile = path.join(root, "profile");
  const extension = path.join(root, "extension");
  fs.mkdirSync(home, { recursive: true });
  fs.mkdirSync(runtime, { recursive: true, mode: 0o700 });
  fs.mkdirSync(profile, { recursive: true });
  fs.cpSync(extensionSource, extension, { recursive: true });
  const geckoId = JSON.parse(fs.readFileSync(path.join(extension, "manifest.json"), "utf8"))
      .browser_specific_settings.gecko.id;

  // The host manifest as built for Firefox, in the per-user folder Firefox reads, pointing at
  // the nolt-safari of this build.
  const manifest = JSON.parse(fs.readFileSync(hostManifest, "utf8"));
  assert.ok(manifest.allowed_extensions.includes(geckoId), JSON.stringify(manifest));
  assert.equal(manifest.allowed_origins, undefined);
  manifest.path = path.join(bin, "nolt-safari");
  const hostsDir = path.join(home, ".mozilla/native-messaging-hosts");
  fs.mkdirSync(hostsDir, { recursive: true });
  fs.writeFileSync(path.join(hostsDir, `${manifest.name}.json`), JSON.stringify(manifest));

  fs.writeFileSync(path.join(profile, "user.js"), [
    `user_pref("extensions.webextensions.uuids", ${JSON.stringify(JSON.stringify({ [geckoId]: EXTENSION_UUID }))});`,
    `user_pref("browser.shell.checkDefaultBrowser", false);`,
    `user_pref("datareporting.policy.dataSubmissionEnabled", false);`,
    `user_pref("toolkit.telemetry.reportingpolicy.firstRun", false);`,
    `user_pref("browser.startup.homepage_override.mstone", "ignore");`,
    `user_pref("app.update.disabledForTesting", true);`,
    `user_pref("xpinstall.signatures.required", false);`,
  ].join("\n") + "\n");

  fs.writeFileSync(path.join(root, "bus.conf"), privateBusConfig(root));
  const bus = start("dbus-daemon", [`--config-file=${path.join(root, "bus.conf")}`, "--nofork",
                                    "--nopidfile", "--print-address=1"]);
  const address = (await waitFor("the session bus", () => bus.output.split("\n").length > 1 &&
                                 bus.output.split("\n")[0])).trim();
  const env = { PATH: process.env.PATH, HOME: home, XDG_RUNTIME_DIR: runtime,
                XDG_DATA_HOME: path.join(home, ".local/share"),
                XDG_CONFIG_HOME: path.join(home, ".config"), XDG_CACHE_HOME: path.join(home, ".cache"),
                DBUS_SESSION_BUS_ADDRESS: address, QT_QPA_PLATFORM: "offscreen" };
  for (const name of ["ASAN_OPTIONS", "UBSAN_OPTIONS", "LSAN_OPTIONS", "TMPDIR"]) {
    if (process.env[name]) env[name] = process.env[name];
  }

  start(path.join(bin, "nolt-host"), ["--demo"], env);
  await waitFor("nolt-host", () => {
    try {
      return fs.readFileSync(path.join(runtime, "app.nolt.Nolt.instance"), "utf8").startsWith("running");
    } catch {
      return false;
    }
  });

  const browser = start(firefox, [
    "--headless", "--no-remote", "--profile", profile, "--remote-debugging-port=0",
    // Lets the session open the extension's own pages, as the toolbar button would.
    "--remote-allow-system-access", "about:blank"], env);
  const url = await waitFor("WebDriver BiDi",
                            () => browser.output.match(/WebDriver BiDi listening on (ws:\/\/\S+)/)?.[1]);
  const session = await bidi(`${url}/session`);
  closeBrowser = async () => {
    session.call("browser.close").catch(() => {});
    await Promise.race([new Promise((r) => browser.once("exit", r)), sleep(10000)]);
  };
  await session.call("session.new", { capabilities: {} });
  const installed = await session.call("webExtension.install",
                                       { extensionData: { type: "path", path: extension } });
  assert.equal(installed.extension, geckoId);

  // The popup, opened as a tab: it lists the host's spaces with nothing to complain about.
  const { contexts } = await session.call("browsingContext.getTree", {});
  const context = contexts[0].context;
  await session.call("browsingContext.navigate", {
    context, url: `moz-extension://${EXTENSION_UUID}/popup.html`, wait: "complete" });
  await waitFor("the destinations", () => session.evaluate(context,
      `document.getElementById("save")?.disabled === false`));
  assert.equal(await session.evaluate(context, `document.getElementById("status").textContent`), "");
  const spaces = await session.evaluate(context,
      `[...document.getElementById("space").options].map((o) => o.text)`);
  assert.equal(spaces[0], "Current space");
  assert.ok(spaces.some((s) => s.includes("Personal")) && spaces.some((s) => s.includes("Work")),
            JSON.stringify(spaces));

  // A page saved through the extension's one channel to nolt-safari, as the popup saves it.
  const reply = await session.evaluate(context, `sendToNolt({ action: "savePage",
      url: "https://example.com/firefox-teal-lamp", title: "Teal desk lamp from Firefox",
      tags: ["firefoxlamp"], note: "saved in Firefox" })`);
  assert.deepEqual(reply, { ok: true });

  // An image saved as the context-menu item saves it, by the background page, which Firefox
  // runs as an event page with native.js loaded before background.js.
  const image = await session.evaluate(context, `browser.runtime.getBackgroundPage().then((page) =>
      page.saveImage("data:image/png;base64,${PNG}", "https://example.com/firefox-gallery",
                     "Firefox gallery"))`);
  assert.deepEqual(image, { ok: true });

  // The host takes it from the inbox; nolt finds it.
  const found = await waitFor("the page in nolt search", () => {
    const search = spawnSync(path.join(bin, "nolt"), ["search", "#firefoxlamp", "--json"],
                             { env, encoding: "utf8" });
    if (search.status !== 0) return false;
    const result = JSON.parse(search.stdout);
    return result.total === 1 && result;
  });
  assert.match(JSON.stringify(found), /firefox-teal-lamp/);
  await waitFor("the image in nolt search", () => {
    const search = spawnSync(path.join(bin, "nolt"), ["search", "Firefox gallery", "--json"],
                             { env, encoding: "utf8" });
    return search.status === 0 && search.stdout.includes("Firefox gallery");
  });
}

let status = 0;
let closeBrowser = async () => {};
try {
  await main();
  console.log("ok");
} catch (error) {
  console.error(error);
  for (const child of children) console.error(`--- ${child.spawnargs[0]}\n${child.output.slice(-3000)}`);
  status = 1;
} finally {
  await closeBrowser().catch(() => {});
  for (const child of children.reverse()) child.kill(child.spawnargs[0].endsWith("nolt-host") ? "SIGTERM" : "SIGKILL");
  await sleep(500);
  fs.rmSync(root, { recursive: true, force: true });
}
process.exit(status);
