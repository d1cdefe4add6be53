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

  // What the display's shapes mean (scale/Glyphs.h): the slots are WM, sign, unit, six cells.
  const FIGURES = [0x3f, 0x06, 0x5b, 0x4f, 0x66, 0x6d, 0x7d, 0x07, 0x7f, 0x6f];
  const MINUS = 0x40, POINT = 0x80, CELLS = 6;
  const MASS_UNITS = ["kg", "lb", "oz", "st", "viss"];
  const SIGN_ZERO = 0x01, SIGN_STABLE = 0x04, UNIT_NET = 0x40, WM_OVER_LOAD = 0x80;

  // `digits` (figures only) rounded half up at `keep` figures; a carry may add one in front.
  function rounded(digits, keep) {
    const kept = digits.slice(0, keep).split("");
    const up = keep < digits.length && digits[keep] >= "5";
    for (let i = kept.length; up && i-- > 0;) {
      if (kept[i] !== "9") {
        kept[i] = String(Number(kept[i]) + 1);
        return kept.join("");
      }
      kept[i] = "0";
    }
    return (up ? "1" : "") + kept.join("");
  }

  // "1234.567" on six cells: "1234.57"; null when even the integer does not fit.
  function fitToCells(exact) {
    const negative = exact.startsWith("-");
    const parts = (negative ? exact.slice(1) : exact).split(".");
    let whole = parts[0], decimals = parts[1] || "";
    const room = CELLS - (negative ? 1 : 0);
    for (;;) {
      if (whole.length > room) return null;
      if (whole.length + decimals.length <= room) break;
      // One decimal fewer, rounded; a carry may widen the integer, so look again.
      const keep = Math.max(0, room - whole.length);
      const digits = rounded(whole + decimals, whole.length + keep);
      whole = digits.slice(0, digits.length - keep);
      decimals = digits.slice(digits.length - keep);
    }
    return (negative ? "-" : "") + whole + (decimals ? "." + decimals : "");
  }

  // Another family's reading as the panel shows it: its figures right-aligned on the cells
  // (dashes for what is no number it can show), the glyphs its flags name, its unit's label.
  function familyMasks(reading) {
    const unit = MASS_UNITS.indexOf(reading.unit);
    const out = [reading.overload ? WM_OVER_LOAD : 0,
                 (reading.stable ? SIGN_STABLE : 0) | (reading.zero ? SIGN_ZERO : 0),
                 (reading.net ? UNIT_NET : 0) | (unit >= 0 ? 1 << unit : 0),
                 0, 0, 0, 0, 0, 0];
    const number = typeof reading.value === "number" && /^-?[0-9]+(\.[0-9]+)?$/.test(reading.text);
    const fitted = number ? fitToCells(reading.text) : null;
    if (fitted === null) return out.fill(MINUS, 3);
    let cell = CELLS, point = false;
    for (let i = fitted.length - 1; i >= 0 && cell > 0; --i) {
      if (fitted[i] === ".") {
        point = true;
        continue;
      }
      --cell;
      out[3 + cell] = (fitted[i] === "-" ? MINUS : FIGURES[Number(fitted[i])]) | (point ? POINT : 0);
      point = false;
    }
    return out;
  }

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
    if (reading.protocol && reading.protocol !== "karvel") {
      // Its bytes are its own line, not the display's: drawn from its figures and unit.
      masks = familyMasks(reading);
    } else if (frame.length === 24) {
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
