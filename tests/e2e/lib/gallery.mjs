// The gallery example (examples/gallery.cpp): runs of it, and where its
// movie draws what, as points of the movie (in pixels) and the colour each
// must show. The layout is the example's promise; it is written out here
// again, independently, so that a moved or missing object is caught.

import { spawnSync } from "node:child_process";
import { existsSync, readFileSync, rmSync } from "node:fs";
import { resolve } from "node:path";
import { REPO } from "./deck.mjs";

export const GALLERY = resolve(REPO, process.env.CORVANEX_GALLERY || "build/dev/gallery");

export const SIZE = { width: 640, height: 600 };
const CELL = { width: 128, height: 100 };

export const BACKGROUND = [0xf4, 0xee, 0xdc];
export const C = {
    black: [0x00, 0x00, 0x00], white: [0xff, 0xff, 0xff],
    red: [0xe0, 0x20, 0x20], blue: [0x20, 0x40, 0xe0], green: [0x20, 0xa0, 0x30],
    orange: [0xf0, 0x80, 0x10], purple: [0x80, 0x20, 0xa0], yellow: [0xf0, 0xe0, 0x10],
    magenta: [0xe0, 0x10, 0xc0], cyan: [0x10, 0xd0, 0xe0], navy: [0x10, 0x20, 0x60],
    teal: [0x10, 0x80, 0x80], pink: [0xf0, 0x70, 0xb0], gold: [0xe0, 0xb0, 0x00],
    crimson: [0xa0, 0x00, 0x30], lime: [0x80, 0xe0, 0x00], brown: [0x80, 0x50, 0x20],
    olive: [0x60, 0x70, 0x10], darkRed: [0x90, 0x10, 0x10],
    morphStart: [0x20, 0x60, 0xe0], morphEnd: [0xe0, 0xa0, 0x20],
    fieldText: [0x10, 0x30, 0xc0],
};

// A point of cell (column, row), from its top left.
export const at = (column, row, x, y) => [column * CELL.width + x, row * CELL.height + y];

// The colour a fraction t of the way from a to b.
export const mix = (a, b, t) => a.map((v, i) => Math.round(v + (b[i] - v) * t));

// Gradient colours between stops are the renderer's: allow more there.
const BLEND = 16;

// Everything frame 0 shows once it stands still, object by object. The
// JPEG's colour is the flat colour of the image handed to the example.
export function stillProbes(jpegColor) {
    const p = (point, color, tolerance) => ({ at: point, color, ...(tolerance ? { tolerance } : {}) });
    const bg = (c, r, x, y) => p(at(c, r, x, y), BACKGROUND);
    return {
        "background": [p([2, 2], BACKGROUND), p([637, 597], BACKGROUND), bg(4, 4, 64, 50)],
        // Row 0: solid fills and outlines.
        "rectangle, solid fill and a 4-pixel outline": [p(at(0, 0, 64, 50), C.red), p(at(0, 0, 14, 50), C.black), bg(0, 0, 5, 5)],
        "oval, solid fill": [p(at(1, 0, 64, 50), C.blue), p(at(1, 0, 20, 40), C.blue), bg(1, 0, 12, 18)],
        "circle, solid fill": [p(at(2, 0, 64, 50), C.green), p(at(2, 0, 100, 50), C.green), bg(2, 0, 30, 16)],
        "polygon, solid fill": [p(at(3, 0, 64, 70), C.orange), bg(3, 0, 14, 20), bg(3, 0, 114, 20)],
        "rectangle, outline only": [bg(4, 0, 64, 50), p(at(4, 0, 14, 50), C.purple), p(at(4, 0, 64, 86), C.purple)],
        // Row 1: gradients. A linear ramp spans the middle half of its shape;
        // a radial one reaches its last colour at the corners of the bounds.
        "rectangle, linear gradient": [
            p(at(0, 1, 14, 50), C.red), p(at(0, 1, 114, 50), C.blue), p(at(0, 1, 64, 50), mix(C.red, C.blue, 0.5), BLEND),
        ],
        "oval, linear gradient of three colours": [
            p(at(1, 1, 20, 50), C.yellow), p(at(1, 1, 64, 50), C.magenta, BLEND), p(at(1, 1, 108, 50), C.cyan),
        ],
        "circle, radial gradient": [
            p(at(2, 1, 64, 50), C.white, BLEND), p(at(2, 1, 96, 50), mix(C.white, C.navy, 32 / Math.hypot(45, 45)), BLEND),
            bg(2, 1, 22, 10),
        ],
        "polygon, radial gradient": [
            p(at(3, 1, 64, 50), C.yellow, BLEND), p(at(3, 1, 100, 50), mix(C.yellow, C.green, 36 / (Math.hypot(120, 84) / 2)), BLEND),
            bg(3, 1, 10, 12),
        ],
        // Row 2: bitmaps.
        "JPEG bitmap": [p(at(0, 2, 20, 16), jpegColor), p(at(0, 2, 64, 50), jpegColor), p(at(0, 2, 108, 84), jpegColor), bg(0, 2, 64, 96)],
        "lossless ARGB bitmap, four quadrants": [
            p(at(1, 2, 39, 30), C.red), p(at(1, 2, 89, 30), C.green), p(at(1, 2, 39, 70), C.blue), p(at(1, 2, 89, 70), C.yellow),
        ],
        "lossless colour-mapped bitmap, four stripes": [
            p(at(2, 2, 26, 50), C.magenta), p(at(2, 2, 51, 50), C.cyan), p(at(2, 2, 76, 50), C.brown), p(at(2, 2, 101, 50), C.olive),
        ],
        "polygon, JPEG fill": [p(at(3, 2, 64, 50), jpegColor), p(at(3, 2, 30, 50), jpegColor), bg(3, 2, 12, 12), bg(3, 2, 116, 88)],
        "circle, lossless fill and an outline": [
            p(at(4, 2, 44, 30), C.orange), p(at(4, 2, 84, 30), C.purple), p(at(4, 2, 44, 70), C.teal), p(at(4, 2, 84, 70), C.pink),
            p(at(4, 2, 64, 10), C.black), bg(4, 2, 8, 8),
        ],
        // Row 3: placements with a matrix, the button, the sprite, the text.
        "bar rotated by 90 degrees": [p(at(0, 3, 64, 18), C.teal), p(at(0, 3, 64, 82), C.teal), bg(0, 3, 30, 50), bg(0, 3, 98, 50)],
        "rectangle scaled by 3 x 2": [p(at(1, 3, 40, 40), C.pink), p(at(1, 3, 90, 60), C.pink), bg(1, 3, 100, 50), bg(1, 3, 64, 72)],
        "button, up state": [p(at(2, 3, 64, 50), C.navy)],
        "sprite on its last frame": [bg(3, 3, 24, 50), p(at(3, 3, 64, 50), C.blue), p(at(3, 3, 104, 50), C.green)],
        "static text in the polygon font": [
            p(at(4, 3, 20, 50), C.darkRed), p(at(4, 3, 36, 66), C.darkRed), // L: stem, foot
            p(at(4, 3, 64, 50), C.darkRed), // I
            p(at(4, 3, 98, 34), C.darkRed), p(at(4, 3, 98, 60), C.darkRed), // T: bar, stem
            bg(4, 3, 38, 36), bg(4, 3, 76, 66), bg(4, 3, 64, 80),
        ],
        // Row 4: the morph shape at ratios 0, 1/2 and 1; the marker's cell is empty.
        "morph shape at ratio 0": [p(at(0, 4, 25, 50), C.morphStart), bg(0, 4, 60, 50), bg(0, 4, 95, 50)],
        "morph shape at ratio 1/2": [bg(1, 4, 25, 50), p(at(1, 4, 60, 50), mix(C.morphStart, C.morphEnd, 0.5), 6), bg(1, 4, 95, 50)],
        "morph shape at ratio 1": [bg(2, 4, 25, 50), bg(2, 4, 60, 50), p(at(2, 4, 95, 50), C.morphEnd)],
        "marker's cell, empty before the click": [bg(3, 4, 64, 50)],
        // Row 5: the edit-text field is filled white (its text is checked apart).
        "edit-text field": [p([600, 570], C.white), p([320, 575], C.white)],
    };
}

export const BUTTON = at(2, 3, 64, 50);
export const MARKER = at(3, 4, 64, 50);
export const FIELD = { x: 10, y: 520, width: 620, height: 60 };
export const isFieldText = ([r, g, b]) => b > 140 && r < 110 && g < 130 && b - r > 60;

// Runs the example; returns its exit status, output and the movie's bytes.
export function runGallery(out, { wav, jpeg } = {}) {
    if (!existsSync(GALLERY)) {
        throw new Error(`no gallery program at ${GALLERY}: build it (cmake --build --preset dev --target gallery) or set CORVANEX_GALLERY`);
    }
    rmSync(out, { force: true });
    const args = [...(wav ? ["--wav", wav] : []), ...(jpeg ? ["--jpeg", jpeg] : []), out];
    const run = spawnSync(GALLERY, args, { cwd: REPO, encoding: "utf8", timeout: 60000 });
    if (run.error) throw run.error;
    return { status: run.status, stdout: run.stdout, stderr: run.stderr, file: out, bytes: existsSync(out) ? readFileSync(out) : undefined };
}

// Half a second at 22050 Hz of two tones and a sweep under a fade in and
// out: a signal with some range for the ADPCM coder.
export function testSignal(rate = 22050, count = 11025) {
    const samples = new Int16Array(count);
    let phase = 0;
    for (let i = 0; i < count; ++i) {
        const t = i / rate;
        phase += (2 * Math.PI * (200 + 1800 * (i / count))) / rate;
        const fade = Math.sin((Math.PI * i) / count);
        samples[i] = Math.round(fade * (7000 * Math.sin(2 * Math.PI * 330 * t) + 4000 * Math.sin(2 * Math.PI * 1250 * t) + 3000 * Math.sin(phase)));
    }
    return samples;
}
