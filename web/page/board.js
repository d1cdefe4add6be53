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

  function age(reading) {
    if (!reading || !reading.time) return "";
    const seconds = Math.max(0, Math.round((Date.now() - Date.parse(reading.time)) / 1000));
    if (seconds < 60) return seconds + " s ago";
    if (seconds < 3600) return Math.round(seconds / 60) + " min ago";
    return Math.round(seconds / 3600) + " h ago";
  }

  function render(tile) {
    const r = tile.reading;
    // A reader that is online says in its state when its port is lost.
    const lost = tile.online && r && r.port_lost === true;
    const availability = lost ? "port lost" : tile.online ? "online" : "offline";
    tile.item.className = "tile " + (lost ? "lost" : availability);
    tile.weight.textContent = r ? r.text + (r.unit ? " " + r.unit : "") : "\u2014";
    tile.availability.textContent = availability;
    tile.stable.textContent = r && !lost ? (r.stable ? "stable" : "moving") : "";
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
      meta.appendChild(document.createTextNode(" \u00b7 "));
      tile.stable = part(meta, "span", "stable");
      meta.appendChild(document.createTextNode(" \u00b7 "));
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
