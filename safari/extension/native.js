// The one way this extension talks to nolt-safari: a message in, a reply {ok, error,
// destinations} out. A host that is missing or fails gives {ok: false} with the browser's text.
"use strict";

const NOLT_HOST = "app.nolt.web";
// Firefox offers promise-based calls as `browser`, Chromium as `chrome`.
const api = globalThis.browser ?? globalThis.chrome;

async function sendToNolt(message) {
  try {
    const reply = await api.runtime.sendNativeMessage(NOLT_HOST, message);
    return reply ?? { ok: false, error: "no reply" };
  } catch (error) {
    return { ok: false, error: String(error?.message ?? error) };
  }
}
