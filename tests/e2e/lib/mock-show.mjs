// A slide show written with our own small SWF writer the way the converter
// lays one out (slides, forward and backward buttons, stop points, the
// background colour, an empty frame, the closing notice). The player tests run
// on it to prove themselves before the converter writes shows.

import { readFileSync } from "node:fs";
import { join } from "node:path";
import { ASSETS, BACKGROUND } from "./deck.mjs";
import * as w from "./swf-writer.mjs";

// Stop table as the converter reads the stop file: one number per line, and
// a line feed at the end adds a final 0.
function stopTable(text) {
    if (text === "") return [0];
    const lines = text.split("\n");
    return lines.map((line) => Number.parseInt(line, 10) || 0);
}

// `noticeColor` changes the notice's text colour (to prove a check fails).
export function mockShow(deck, { noticeColor = [255, 0, 0] } = {}) {
    const W = deck.width * 20, H = deck.height * 20, M = Math.trunc(W / 2);
    const stops = stopTable(deck.stops);
    const forwardImage = readFileSync(join(ASSETS, "forward.jpg"));
    const backwardImage = readFileSync(join(ASSETS, "backward.jpg"));
    let id = 0;
    const frames = [];
    // Forward or backward button: a bitmap face, a white hit area, and a
    // placement at a requested depth (display depths are given at the end).
    const button = (image, x1, actions, requested) => {
        const bitmap = ++id, face = ++id, hit = ++id, button = ++id;
        const box = { xMin: x1, xMax: x1 + 600, yMin: H + 100, yMax: H + 700 };
        return [
            w.defineBitsJpeg2(bitmap, image),
            w.defineRectangle(face, box, { bitmap: { id: bitmap, width: 30, height: 30 }, code: 32 }),
            w.defineRectangle(hit, box, { rgb: [255, 255, 255], code: 32 }),
            w.defineButton2(button, { shapeId: face, hitId: hit, actions }),
            { depth: requested, id: button },
        ];
    };
    const placements = []; // [requested depth, tag] for depth sorting
    for (let n = 1; n <= deck.count; ++n) {
        const f = n - 1;
        const tags = [];
        const bitmap = ++id, shape = ++id;
        tags.push(w.defineBitsJpeg2(bitmap, deck.slides[f].bytes));
        tags.push(w.defineRectangle(shape, { xMin: 20, xMax: W, yMin: 20, yMax: H }, { bitmap: { id: bitmap, width: deck.width, height: deck.height }, code: 32 }));
        tags.push({ depth: n, id: shape });
        tags.push(...button(forwardImage, M + 200, [w.action.play()], 500));
        for (let p = 1; p < stops.length; ++p) {
            if (stops[p] !== f) continue;
            if (n !== deck.count) tags.push(w.doAction([w.action.stop()]));
            const target = n === 1 ? 0 : stops[p - 1];
            if (stops[p] !== stops[p - 1]) {
                tags.push(...button(backwardImage, M - 800, [w.action.gotoFrame(target)], 200));
            }
        }
        frames.push(tags);
    }
    if (frames.length === 0) frames.push([]);
    frames[0].push(w.setBackgroundColor(BACKGROUND));
    while (frames.length < Math.max(deck.count, 0) + 1) frames.push([]);
    frames.push([{ depth: 1000, id: ++id, text: true }, w.doAction([w.action.stop()])]);
    // Depth sorting: placements by requested depth, then character ID, from 0.
    for (const tags of frames) for (const t of tags) if (t.depth !== undefined) placements.push(t);
    placements.sort((a, b) => a.depth - b.depth || a.id - b.id).forEach((t, i) => { t.display = i; });
    const built = frames.map((tags) => tags.flatMap((t) => {
        if (t.depth === undefined) return [t];
        const place = w.placeObject2({ depth: t.display, id: t.id });
        if (!t.text) return [place];
        const notice = w.defineEditText(t.id, { xMin: 20, xMax: W, yMin: 20, yMax: H }, { text: "\nThe show is over.", rgb: noticeColor });
        return [notice, place];
    }));
    return w.movie({ width: W, height: H + 800, frames: built });
}
