// The context-menu item that saves an image: its bytes are fetched here and sent as Base64.
"use strict";

// Chromium runs this file alone as a service worker; Firefox loads native.js before it.
if (typeof sendToNolt === "undefined") importScripts("native.js");

const MENU_ID = "nolt-save-image";

api.runtime.onInstalled.addListener(() => {
  api.contextMenus.create({ id: MENU_ID, title: "Save Image to Nolt", contexts: ["image"] });
});

// btoa takes a binary string; build it in slices so large images do not overflow the stack.
function base64Of(buffer) {
  const bytes = new Uint8Array(buffer);
  let binary = "";
  for (let i = 0; i < bytes.length; i += 0x8000) {
    binary += String.fromCharCode.apply(null, bytes.subarray(i, i + 0x8000));
  }
  return btoa(binary);
}

// Saves the image at `srcUrl` (any address fetch can load, data: included) found on `pageUrl`.
async function saveImage(srcUrl, pageUrl, title) {
  try {
    const response = await fetch(srcUrl);
    if (!response.ok) throw new Error(`the image could not be loaded (${response.status})`);
    const blob = await response.blob();
    const message = { action: "saveImage", data: base64Of(await blob.arrayBuffer()) };
    if (blob.type) message.mime = blob.type;
    if (pageUrl) message.pageURL = pageUrl;
    if (title) message.title = title;
    return await sendToNolt(message);
  } catch (error) {
    return { ok: false, error: String(error?.message ?? error) };
  }
}

api.contextMenus.onClicked.addListener(async (info, tab) => {
  if (info.menuItemId !== MENU_ID || !info.srcUrl) return;
  const reply = await saveImage(info.srcUrl, info.pageUrl, tab?.title);
  api.action.setBadgeText({ text: reply.ok ? "✓" : "!", tabId: tab?.id });
  api.action.setTitle({ title: reply.ok ? "Saved to Nolt" : `Not saved: ${reply.error}`,
                        tabId: tab?.id });
});
