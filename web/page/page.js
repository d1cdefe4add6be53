"use strict";
// The live page: the display drawn from the control's own pixels (geometry.js), the reading as
// text, and whether it is live. Everything it shows comes in as text, never as markup.
(() => {
  const G = LUMEQ_GEOMETRY;
  const canvas = document.getElementById("display");
  const main = document.getElementById("live");
  const readingText = document.getElementById("reading");
  const stateText = document.getElementById("state");
  const spoken = document.getElementById("spoken");
  const params = new URLSearchParams(location.search);
  // A board's view of one scale, or the reader's own.
  const source = location.pathname.startsWith("/scale/")
    ? "/api/v1/scales/" + location.pathname.slice(7) + "/events"
    : "/api/v1/events";
  let masks = [0xff, 0xff, 0xff, 0xff, 0xff, 0xff, 0xff, 0xff, 0xff];  // the control's initial state
  let lastSpoken = "";

  // Device pixels per display pixel: a whole number when the display fits, so edges stay sharp.
  function scale() {
    const asked = parseInt(params.get("scale") || "", 10);
    if (asked > 0) return asked;
    const ratio = window.devicePixelRatio || 1;
    const room = Math.max(1, (document.documentElement.clientWidth * 0.96) * ratio);
    const whole = Math.floor(room / G.width);
    return whole >= 1 ? whole : room / G.width;
  }

  function draw() {
    const s = scale();
    const ratio = window.devicePixelRatio || 1;
    const w = Math.round(G.width * s), h = Math.round(G.height * s);
    if (canvas.width !== w || canvas.height !== h) {
      canvas.width = w;
      canvas.height = h;
      canvas.style.width = (w / ratio) + "px";
      canvas.style.height = (h / ratio) + "px";
    }
    const c = canvas.getContext("2d");
    c.imageSmoothingEnabled = false;
    c.fillStyle = G.back;
    c.fillRect(0, 0, w, h);
    c.fillStyle = G.fore;
    const slots = [G.wm, G.sign, G.unit].concat(G.hex);
    slots.forEach((slot, i) => {
      for (let bit = 0; bit < 8; ++bit) {
        if (!((masks[i] >> bit) & 1)) continue;
        const runs = slot[bit];
        for (let r = 0; r < runs.length; r += 3) {
          const x0 = Math.round(runs[r] * s), y0 = Math.round(runs[r + 1] * s);
          c.fillRect(x0, y0, Math.round((runs[r] + runs[r + 2]) * s) - x0,
                     Math.round((runs[r + 1] + 1) * s) - y0);
        }
      }
    });
  }

  function shown(reading) {
    return reading.text + (reading.unit ? " " + reading.unit : "");
  }

  function onReading(reading) {
    const frame = reading.frame || "";
    if (frame.length === 24) {
      masks = [];
      for (let i = 3; i < 12; ++i) masks.push(parseInt(frame.substr(i * 2, 2), 16));
    }
    draw();
    readingText.textContent = shown(reading);
    if (reading.scale) document.getElementById("scale").textContent = reading.scale;
    // Only settled weights are spoken: a moving pan would talk all the time.
    if (reading.stable && shown(reading) !== lastSpoken) {
      lastSpoken = shown(reading);
      spoken.textContent = lastSpoken;
    }
    if (main.dataset.state !== "lost") setState("live", "live");
  }

  function setState(state, words) {
    main.dataset.state = state;
    stateText.textContent = words;
  }

  function onState(state) {
    if (state.state === "lost") {
      setState("lost", "port lost: " + state.port + " went away; the last reading is not live");
      spoken.textContent = "port lost";
      lastSpoken = "";
    } else if (state.state === "offline") {
      setState("lost", state.port + " is offline; the last reading is not live");
      lastSpoken = "";
    } else if (state.state === "opened" || state.state === "back") {
      setState("live", state.state === "back" ? "live again" : "live");
    }
  }

  const events = new EventSource(source);
  events.addEventListener("reading", (e) => onReading(JSON.parse(e.data)));
  events.addEventListener("state", (e) => onState(JSON.parse(e.data)));
  events.addEventListener("error", () => {
    if (events.readyState === EventSource.CLOSED || main.dataset.state !== "lost")
      setState(main.dataset.state === "live" ? "lost" : main.dataset.state,
               "no connection to the reader; trying again");
  });
  window.addEventListener("resize", draw);
  draw();
})();
