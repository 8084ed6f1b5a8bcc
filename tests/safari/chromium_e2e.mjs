// The browser extension in headless Chromium, talking to the real nolt-safari: the popup lists
// the destinations and saves the page, the background saves an image, and each save reaches
// the inbox with one signal on a private session bus.
// Run with node --experimental-websocket (node 20); exits 77 when Chromium is not installed.
import { spawnSync } from "node:child_process";
import fs from "node:fs";
import path from "node:path";
import assert from "node:assert/strict";

import { PNG, atExit, bin, connect, programEnvironment, requireBrowser, run, sleep, start,
         startSessionBus, testFolders, waitFor } from "./e2e_common.mjs";

const EXTENSION_ID = "dmdpmdeojcdfifnjgkelgmnlgiilefkn";  // from the key in manifest.json
const SPACE = "AAAAAAAA-AAAA-4AAA-8AAA-AAAAAAAAAAAA";
const COLLECTION = "BBBBBBBB-BBBB-4BBB-8BBB-BBBBBBBBBBBB";

const chromium = process.env.NOLT_CHROMIUM || "chromium";
requireBrowser(chromium);

// One DevTools connection to a target; evaluate() runs an expression and returns its value.
async function devtools(webSocketUrl) {
  const connection = await connect(webSocketUrl);
  return {
    async evaluate(expression) {
      const reply = await connection.send("Runtime.evaluate",
                                          { expression, awaitPromise: true, returnByValue: true });
      if (reply.result?.exceptionDetails) {
        throw new Error(reply.result.exceptionDetails.exception?.description ?? "evaluation failed");
      }
      return reply.result?.result?.value;
    },
    close: connection.close,
  };
}

function captures(inbox) {
  if (!fs.existsSync(inbox)) return [];
  return fs.readdirSync(inbox).map((name) => {
    const folder = path.join(inbox, name);
    const files = fs.readdirSync(folder).sort();
    const request = files.includes("request.json")
      ? JSON.parse(fs.readFileSync(path.join(folder, "request.json"), "utf8")) : null;
    return { name, folder, files, request };
  });
}

async function main(root) {
  const { home, profile, extension } = testFolders(root);
  const container = path.join(home, ".local/share/group.app.nolt");
  fs.mkdirSync(container, { recursive: true });
  fs.mkdirSync(path.join(profile, "NativeMessagingHosts"));
  // Chromium reads per-profile host manifests from <user data dir>/NativeMessagingHosts.
  fs.writeFileSync(path.join(profile, "NativeMessagingHosts/app.nolt.web.json"), JSON.stringify({
    name: "app.nolt.web", description: "test", path: path.join(bin, "nolt-safari"), type: "stdio",
    allowed_origins: [`chrome-extension://${EXTENSION_ID}/`],
  }));
  fs.writeFileSync(path.join(container, "destinations.json"), JSON.stringify({
    spaces: [{ id: SPACE, name: "Work", emoji: "💼", symbol: "", tintName: "" }],
    collections: [{ id: COLLECTION, name: "Chairs", emoji: "", symbol: "", tintName: "", spaceID: SPACE }],
    currentSpaceID: SPACE,
  }));

  const address = await startSessionBus(root);
  // The monitor watches the host's interface: the incoming signal, and the checkpoint this
  // test sends itself.
  const monitor = start("dbus-monitor", ["--address", address,
                                         "type='signal',interface='app.nolt.Nolt'"]);
  await waitFor("dbus-monitor", () => monitor.output.includes("NameAcquired") ||
                                      monitor.output.includes("NameLost"), 10);
  const signals = () => monitor.output.split("\n")
      .filter((l) => l.includes("interface=app.nolt.Nolt; member=incoming")).length;

  const env = programEnvironment(home, address, { NO_AT_BRIDGE: "1" });
  const browser = start(chromium, [
    "--headless=new", "--no-sandbox", "--disable-gpu", "--no-first-run",
    "--no-default-browser-check", `--user-data-dir=${profile}`, `--load-extension=${extension}`,
    "--remote-debugging-port=0", "about:blank"], env);
  const port = await waitFor("DevTools", () => browser.output.match(/127\.0\.0\.1:(\d+)\//)?.[1]);
  const browserSocket = browser.output.match(/ws:\/\/\S+/)[0];
  atExit(async () => {
    const connection = await connect(browserSocket);
    connection.send("Browser.close");
    await Promise.race([new Promise((r) => browser.once("exit", r)), sleep(10000)]);
  });
  const http = (p, method = "GET") => fetch(`http://127.0.0.1:${port}${p}`, { method })
      .then((r) => r.json());
  const targets = () => http("/json/list");

  // An extension page opened before the extension has loaded is blocked for good, so wait for
  // its service worker first.
  await waitFor("the extension", async () => (await targets())
      .find((t) => t.url === `chrome-extension://${EXTENSION_ID}/background.js`), 30);

  // The popup, opened as a tab: it lists the destinations, then saves the active tab (itself).
  const popupUrl = `chrome-extension://${EXTENSION_ID}/popup.html`;
  const popupTarget = await http(`/json/new?${popupUrl}`, "PUT");
  const popup = await devtools(popupTarget.webSocketDebuggerUrl);
  await waitFor("the destinations", () => popup.evaluate(
      `document.getElementById("save")?.disabled === false`));
  const spaces = await popup.evaluate(
      `[...document.getElementById("space").options].map((o) => o.value + "=" + o.text)`);
  assert.deepEqual(spaces, ["=Current space", `${SPACE}=💼 Work`]);
  assert.equal(await popup.evaluate(`document.getElementById("space").value`), SPACE);
  await popup.evaluate(`
    document.getElementById("collection").value = "${COLLECTION}";
    document.getElementById("tags").value = "red, chair";
    document.getElementById("note").value = "from the popup";
    document.getElementById("form").requestSubmit();`);
  await waitFor("the page save", () => popup.evaluate(
      `document.getElementById("status").textContent`));
  assert.equal(await popup.evaluate(`document.getElementById("status").textContent`), "Saved.");
  popup.close();

  // The image save, as the context-menu item runs it.
  const worker = await waitFor("the service worker", async () => (await targets())
      .find((t) => t.type === "service_worker" && t.url.includes(EXTENSION_ID)));
  const background = await devtools(worker.webSocketDebuggerUrl);
  const reply = await background.evaluate(
      `saveImage("data:image/png;base64,${PNG}", "https://example.test/gallery", "Gallery")`);
  assert.deepEqual(reply, { ok: true });
  background.close();

  const inbox = path.join(container, "Incoming");
  const saved = captures(inbox);
  assert.equal(saved.length, 2, JSON.stringify(saved));
  const page = saved.find((c) => c.request?.kind === "link");
  const image = saved.find((c) => c.request?.kind === "file");
  assert.ok(page && image, JSON.stringify(saved));
  assert.match(page.name, /^[0-9A-F]{8}-[0-9A-F]{4}-[0-9A-F]{4}-[0-9A-F]{4}-[0-9A-F]{12}$/);
  assert.equal(page.request.url, popupUrl);
  assert.deepEqual(page.request.tags, ["red", "chair"]);
  assert.equal(page.request.note, "from the popup");
  assert.equal(page.request.spaceID, SPACE);
  assert.equal(page.request.collectionID, COLLECTION);
  assert.deepEqual(image.files, ["image.png", "request.json"]);
  assert.deepEqual(fs.readFileSync(path.join(image.folder, "image.png")), Buffer.from(PNG, "base64"));
  assert.equal(image.request.sourceURL, "https://example.test/gallery");
  assert.equal(image.request.title, "Gallery");
  // Each save posts its signal before it replies, so a third would have reached the bus before
  // a checkpoint sent now, and the monitor sees them in that order.
  await waitFor("two signals", () => signals() >= 2, 10);
  const checkpoint = spawnSync("dbus-send", [`--bus=${address}`, "--type=signal", "/",
                                             "app.nolt.Nolt.checkpoint"]);
  assert.equal(checkpoint.status, 0, String(checkpoint.stderr));
  await waitFor("the checkpoint", () => monitor.output.includes("member=checkpoint"), 10);
  assert.equal(signals(), 2);
}

await run("chromium", main);
