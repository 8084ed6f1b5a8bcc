// What the browser tests share: skipping without the browser, the programs they start (ended
// and reported on however a test ends), bounded waits, a private session bus, the environment
// of nolt-safari and the browser, and one JSON exchange at a time with the browser's remote
// protocol over a WebSocket.
import { spawn, spawnSync } from "node:child_process";
import fs from "node:fs";
import os from "node:os";
import path from "node:path";

import { sleep, waitFor } from "../support/wait.mjs";

export { sleep, waitFor };

export const SKIP = 77;
// A one-pixel PNG, as an image on a page would be.
export const PNG = "iVBORw0KGgoAAAANSUhEUgAAAAEAAAABCAYAAAAfFcSJAAAADUlEQVR42mP8z8DwHwAFBQIAX8jx0gAAAABJRU5ErkJggg==";

export const bin = process.env.NOLT_BIN;
const extensionSource = process.env.NOLT_EXTENSION_DIR;

// Ends the test as skipped when `browser` does not run.
export function requireBrowser(browser) {
  if (spawnSync(browser, ["--version"]).status !== 0) {
    console.log(`skipped: ${browser} is not installed`);
    process.exit(SKIP);
  }
}

const children = [];
const exitSteps = [];

// `command` started with exactly `env`; what it writes gathers in child.output. It is ended
// with `stopSignal` when the test ends.
export function start(command, args, env, stopSignal = "SIGKILL") {
  const child = spawn(command, args, { env, stdio: ["ignore", "pipe", "pipe"] });
  children.push(child);
  child.stopSignal = stopSignal;
  child.output = "";
  child.stdout.on("data", (d) => (child.output += d));
  child.stderr.on("data", (d) => (child.output += d));
  return child;
}

// `step` runs when the test ends, before the programs are killed: a browser closed through its
// own protocol reaps its helpers, where a killed one leaves zombies.
export function atExit(step) {
  exitSteps.push(step);
}

// The folders of a test below `root`: an empty HOME, an empty browser profile, and a copy of
// the extension to load.
export function testFolders(root) {
  const folders = { home: path.join(root, "home"), profile: path.join(root, "profile"),
                    extension: path.join(root, "extension") };
  fs.mkdirSync(folders.home, { recursive: true });
  fs.mkdirSync(folders.profile, { recursive: true });
  fs.cpSync(extensionSource, folders.extension, { recursive: true });
  return folders;
}

// A session bus of the test's own, listening in `dir`; its address. It starts no services:
// Chromium would otherwise activate the accessibility bus.
export async function startSessionBus(dir) {
  const config = path.join(dir, "bus.conf");
  fs.writeFileSync(config, `<!DOCTYPE busconfig PUBLIC "-//freedesktop//DTD D-BUS Bus Configuration 1.0//EN"
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
`);
  const bus = start("dbus-daemon", [`--config-file=${config}`, "--nofork", "--nopidfile",
                                    "--print-address=1"]);
  return (await waitFor("the session bus", () => bus.output.split("\n").length > 1 &&
                        bus.output.split("\n")[0])).trim();
}

// The environment of the browser and of the nolt-safari it starts: a HOME of the test's own,
// the private bus, the test's sanitizer settings, and `extra`.
export function programEnvironment(home, busAddress, extra = {}) {
  const env = { PATH: process.env.PATH, HOME: home, XDG_DATA_HOME: path.join(home, ".local/share"),
                XDG_CONFIG_HOME: path.join(home, ".config"), XDG_CACHE_HOME: path.join(home, ".cache"),
                DBUS_SESSION_BUS_ADDRESS: busAddress, ...extra };
  for (const name of ["ASAN_OPTIONS", "UBSAN_OPTIONS", "LSAN_OPTIONS", "TMPDIR"]) {
    if (process.env[name]) env[name] = process.env[name];
  }
  return env;
}

// A WebSocket to the browser's remote protocol (DevTools or WebDriver BiDi), where each command
// carries an id and its reply the same one: send() gives the reply; events are passed over.
export async function connect(url) {
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
  return {
    send(method, params = {}) {
      const id = ++next;
      socket.send(JSON.stringify({ id, method, params }));
      return new Promise((resolve) => pending.set(id, resolve));
    },
    close: () => socket.close(),
  };
}

// Runs `main(root)` with a fresh temporary folder `root`, then ends every program it started
// and removes the folder. Prints "ok", or the error and the last output of each program, and
// exits 0 or 1.
export async function run(name, main) {
  const root = fs.mkdtempSync(path.join(process.env.TMPDIR || os.tmpdir(), `nolt-${name}-`));
  let status = 0;
  try {
    await main(root);
    console.log("ok");
  } catch (error) {
    console.error(error);
    for (const child of children) console.error(`--- ${child.spawnargs[0]}\n${child.output.slice(-3000)}`);
    status = 1;
  } finally {
    for (const step of exitSteps) await step().catch(() => {});
    const running = children.filter((child) => child.exitCode === null && child.signalCode === null);
    const ended = running.map((child) => new Promise((r) => child.once("exit", r)));
    for (const child of running.reverse()) child.kill(child.stopSignal);
    await Promise.race([Promise.all(ended), sleep(5000)]);
    fs.rmSync(root, { recursive: true, force: true });
  }
  process.exit(status);
}
