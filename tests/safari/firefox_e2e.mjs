// The browser extension in headless Firefox ESR, loaded unpacked through WebDriver BiDi into a
// temporary profile, talking to the real nolt-safari through the per-user Firefox host manifest
// and to the real nolt-host behind it: the popup lists the host's destinations, and a page
// saved through the extension's native channel arrives in `nolt search`.
// Run with node --experimental-websocket (node 20); exits 77 when Firefox is not installed.
import { spawnSync } from "node:child_process";
import fs from "node:fs";
import path from "node:path";
import assert from "node:assert/strict";

import { PNG, atExit, bin, connect, programEnvironment, requireBrowser, run, sleep, start,
         startSessionBus, testFolders, waitFor } from "./e2e_common.mjs";

// Fixed here so the extension's pages have a known address.
const EXTENSION_UUID = "6e0f1b8a-1c2d-4e3f-8a9b-0c1d2e3f4a5b";

const hostManifest = process.env.NOLT_FIREFOX_MANIFEST;
const firefox = process.env.NOLT_FIREFOX || "firefox-esr";
requireBrowser(firefox);

// One WebDriver BiDi session; evaluate() runs an expression in a browsing context and returns
// the JSON text it gives back, parsed.
async function bidi(url) {
  const connection = await connect(url);
  const call = async (method, params = {}) => {
    const reply = await connection.send(method, params);
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
    close: connection.close,
  };
}

async function main(root) {
  const { home, profile, extension } = testFolders(root);
  const runtime = path.join(root, "run");
  fs.mkdirSync(runtime, { mode: 0o700 });
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

  const address = await startSessionBus(root);
  const env = programEnvironment(home, address,
                                 { XDG_RUNTIME_DIR: runtime, QT_QPA_PLATFORM: "offscreen" });

  start(path.join(bin, "nolt-host"), ["--demo"], env, "SIGTERM");
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
  atExit(async () => {
    session.call("browser.close").catch(() => {});
    await Promise.race([new Promise((r) => browser.once("exit", r)), sleep(10000)]);
  });
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

await run("firefox", main);
