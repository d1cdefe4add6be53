"use strict";
// The board: one tile per scale, from the reader's "tile" and "gone" events. Ids and readings
// come from the broker: they are only ever set as text.
(() => {
  const list = document.getElementById("tiles");
  const connection = document.getElementById("connection");
  const tiles = new Map();  // id -> {item, reading, online}

  function part(parent, tag, className) {
    const element = document.createElement(tag);
    element.className = className;
    parent.appendChild(element);
    return element;
  }

  // The fields of a state that have their type; null for no state. Whoever may publish to the
  // broker writes states, so a field of another type is not shown at all.
  function typed(state) {
    if (!state || typeof state !== "object" || Array.isArray(state)) return null;
    const r = { lost: state.port_lost === true };
    if (typeof state.text === "string") r.text = state.text;
    if (typeof state.unit === "string") r.unit = state.unit;
    if (typeof state.stable === "boolean") r.stable = state.stable;
    const time = typeof state.time === "string" ? Date.parse(state.time) : NaN;
    if (!Number.isNaN(time)) r.time = time;
    return r;
  }

  function weight(r) {
    if (!r) return "\u2014";
    if (r.text !== undefined) return r.text + (r.unit ? " " + r.unit : "");
    const any = r.unit !== undefined || r.stable !== undefined || r.time !== undefined;
    return any ? "\u2014" : "unreadable state";
  }

  function age(r) {
    if (!r || r.time === undefined) return "";
    const seconds = Math.max(0, Math.round((Date.now() - r.time) / 1000));
    if (seconds < 60) return seconds + " s ago";
    if (seconds < 3600) return Math.round(seconds / 60) + " min ago";
    return Math.round(seconds / 3600) + " h ago";
  }

  function render(tile) {
    const r = typed(tile.reading);
    // A reader that is online says in its state when its port is lost.
    const lost = tile.online && r && r.lost;
    const availability = lost ? "port lost" : tile.online ? "online" : "offline";
    tile.item.className = "tile " + (lost ? "lost" : availability);
    tile.weight.textContent = weight(r);
    tile.availability.textContent = availability;
    const stable = r && !lost && r.stable !== undefined;
    tile.stable.textContent = stable ? (r.stable ? "stable" : "moving") : "";
    tile.age.textContent = age(r);
  }

  function onTile(data) {
    let tile = tiles.get(data.id);
    if (!tile) {
      const item = document.createElement("li");
      const link = part(item, "a", "");
      link.href = "/scale/" + encodeURIComponent(data.id);
      const id = part(link, "div", "id");
      id.textContent = data.id;
      tile = { item, weight: part(link, "div", "weight") };
      const meta = part(link, "div", "meta");
      tile.availability = part(meta, "span", "availability");
      tile.stable = part(meta, "span", "stable");
      tile.age = part(meta, "span", "age");
      item.dataset.id = data.id;
      tiles.set(data.id, tile);
      const after = [...tiles.keys()].sort().find((other) => other > data.id);
      list.insertBefore(item, after ? tiles.get(after).item : null);
    }
    tile.reading = data.reading;
    tile.online = data.online;
    render(tile);
  }

  function onGone(data) {
    const tile = tiles.get(data.id);
    if (tile) {
      tile.item.remove();
      tiles.delete(data.id);
    }
  }

  const events = new EventSource("/api/v1/board/events");
  events.addEventListener("open", () => { connection.textContent = "live"; });
  events.addEventListener("tile", (e) => onTile(JSON.parse(e.data)));
  events.addEventListener("gone", (e) => onGone(JSON.parse(e.data)));
  events.addEventListener("error", () => {
    connection.textContent = "no connection to the reader; trying again";
  });
  setInterval(() => tiles.forEach(render), 1000);
})();
