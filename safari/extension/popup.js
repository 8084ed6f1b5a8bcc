// The toolbar popup: pick a space, a collection, tags and a note, and save the current page.
"use strict";

const $ = (id) => document.getElementById(id);
let destinations = { spaces: [], collections: [] };

function label(place) {
  return place.emoji ? `${place.emoji} ${place.name}` : place.name;
}

function option(value, text) {
  const element = document.createElement("option");
  element.value = value;
  element.textContent = text;
  return element;
}

// Collections of the chosen space, and those that belong to no particular space.
function fillCollections() {
  const space = $("space").value;
  const list = $("collection");
  list.replaceChildren(option("", "None"));
  for (const place of destinations.collections) {
    if (!place.spaceID || place.spaceID === space) list.append(option(place.id, label(place)));
  }
}

function show(text, isError) {
  $("status").textContent = text;
  $("status").className = isError ? "error" : "";
}

async function activeTab() {
  const [tab] = await api.tabs.query({ active: true, currentWindow: true });
  return tab;
}

async function load() {
  const reply = await sendToNolt({ action: "destinations" });
  if (reply.ok && reply.destinations) destinations = reply.destinations;
  else show(`Nolt is not reachable: ${reply.error}`, true);
  const spaces = $("space");
  spaces.replaceChildren(option("", "Current space"));
  for (const place of destinations.spaces ?? []) spaces.append(option(place.id, label(place)));
  if (destinations.currentSpaceID) spaces.value = destinations.currentSpaceID;
  fillCollections();
  $("save").disabled = false;
}

async function save(event) {
  event.preventDefault();
  const tab = await activeTab();
  if (!tab?.url) return show("This page has no address to save.", true);
  const message = {
    action: "savePage",
    url: tab.url,
    note: $("note").value,
    tags: $("tags").value.split(",").map((t) => t.trim()).filter((t) => t),
  };
  if ($("space").value) message.spaceID = $("space").value;
  if ($("collection").value) message.collectionID = $("collection").value;
  $("save").disabled = true;
  const reply = await sendToNolt(message);
  $("save").disabled = false;
  if (reply.ok) show("Saved.", false);
  else show(`Not saved: ${reply.error}`, true);
}

$("space").addEventListener("change", fillCollections);
$("form").addEventListener("submit", save);
load();
