// Decks as presentation programs export them, converted with the default
// configuration (a 640 x 480 slide area) and played in Ruffle: a slide of
// another size is drawn whole, scaled to fit and centred, and the bands
// beside it show the background, never the slide before.

import assert from "node:assert/strict";
import { execFileSync } from "node:child_process";
import { writeFileSync } from "node:fs";
import { join } from "node:path";
import { describe, it } from "node:test";
import { ASSETS, BACKGROUND, convert, scratchDir, SLIDE_COLORS } from "../lib/deck.mjs";
import { writeFlatJpeg } from "../lib/media.mjs";
import { MoviePage, sharedPlayer } from "../lib/player.mjs";
import { layout, pause } from "../lib/show.mjs";
import { assertClean, checkSwf } from "../lib/swf-check.mjs";

const AREA = { width: 640, height: 480 }; // assets/config.txt, the default
const BASE = [0x40, 0x40, 0x40];

// Corner k of slide n (top left, top right, bottom left, bottom right).
const cornerColor = (n, k) => SLIDE_COLORS[(n + k) % SLIDE_COLORS.length];

// A slide of `width` x `height` pixels in a dark grey, with a square of its
// own colour in each corner, a sixth of the height wide.
function writeCorneredJpeg(file, n, width, height) {
    const side = Math.round(height / 6);
    const hex = (c) => "0x" + c.map((v) => v.toString(16).padStart(2, "0")).join("");
    const at = [[0, 0], [width - side, 0], [0, height - side], [width - side, height - side]];
    const boxes = at.map(([x, y], k) => `drawbox=x=${x}:y=${y}:w=${side}:h=${side}:color=${hex(cornerColor(n, k))}:t=fill`);
    execFileSync("ffmpeg", ["-v", "error", "-nostdin", "-y", "-f", "lavfi", "-i", `color=c=${hex(BASE)}:s=${width}x${height}`,
        "-vf", boxes.join(","), "-frames:v", "1", "-q:v", "2", file], { stdio: ["ignore", "pipe", "pipe"] });
}

// Where a slide of this size lies in the 640 x 480 area, in movie pixels
// (drawn from one pixel in, as every slide).
function fitted(width, height) {
    const scale = Math.min(AREA.width / width, AREA.height / height);
    const w = width * scale, h = height * scale;
    const left = (AREA.width - w) / 2, top = (AREA.height - h) / 2;
    return { left: left + 1, top: top + 1, right: left + w, bottom: top + h };
}

// A PowerPoint export: Slide1.JPG ... at 1920 x 1080, the stop points given
// with --stops (there is no Slide.stp); every slide but the last stops.
const powerPoint = (() => {
    const dir = scratchDir("powerpoint");
    const count = 4;
    for (let n = 1; n <= count; ++n) writeCorneredJpeg(join(dir, `Slide${n}.JPG`), n, 1920, 1080);
    writeFileSync(join(dir, "talk.stp"), "0\n1\n2\n");
    const deck = { dir, prefix: "Slide", count, config: join(ASSETS, "config.txt") };
    return { deck, run: convert(deck, join(dir, "talk.swf"), ["--stops", "talk.stp"]) };
})();

// Slides of mixed sizes: one that fills the area, a wide one, a tall one.
const mixed = (() => {
    const dir = scratchDir("mixed");
    const sizes = [[640, 480], [1920, 1080], [480, 640], [640, 480]];
    sizes.forEach(([w, h], i) => writeFlatJpeg(join(dir, `deck-0${i + 1}.jpg`), SLIDE_COLORS[i], w, h));
    writeFileSync(join(dir, "deck.stp"), "0\n1\n2\n");
    const deck = { dir, prefix: "deck-", count: sizes.length, config: join(ASSETS, "config.txt") };
    return { deck, sizes, run: convert(deck, join(dir, "mixed.swf")) };
})();

describe("exported decks", () => {
    const { server, browser } = sharedPlayer();

    for (const converted of [powerPoint, mixed]) {
        it(`${converted.deck.prefix}: converts with one line on the scaled slides and reads clean in swf-parser`, () => {
            assert.equal(converted.run.status, 0, converted.run.stderr);
            assert.match(converted.run.stderr, /^corvanex: \d of 4 slides differ from the 640 x 480 slide area and were scaled to fit it \('--size auto' takes the first slide's size\)\n$/);
            const check = checkSwf(converted.run.bytes);
            assertClean(check);
            assert.deepEqual(check.header.frameSize, { xMin: 0, xMax: 640 * 20, yMin: 0, yMax: 480 * 20 + 800 });
        });
    }

    it("1920 x 1080 slides in the default area: every corner of every stopping slide shows, the bands are background",
        async () => {
            const movie = await MoviePage.open(browser(), server(), powerPoint.run.bytes);
            try {
                const box = fitted(1920, 1080);
                const inset = 8;
                const corners = [[box.left + inset, box.top + inset], [box.right - inset, box.top + inset],
                    [box.left + inset, box.bottom - inset], [box.right - inset, box.bottom - inset]];
                const bands = [[320, box.top / 2], [320, (box.bottom + AREA.height) / 2], [20, box.top - 4], [620, box.bottom + 4]];
                const { forward } = layout(AREA);
                // The last slide plays on to the closing notice; the others stop.
                for (let n = 1; n < powerPoint.deck.count; ++n) {
                    if (n > 1) await movie.click(...forward);
                    await movie.waitForColors([
                        ...corners.map((at, k) => ({ at, color: cornerColor(n, k) })),
                        { at: [320, 240], color: BASE },
                        ...bands.map((at) => ({ at, color: BACKGROUND })),
                    ], { tolerance: 14 });
                    await pause(200);
                }
            } finally {
                await movie.close();
            }
        });

    it("mixed sizes: a fitted slide's bands never show the slide before, going forward or back", async () => {
        const movie = await MoviePage.open(browser(), server(), mixed.run.bytes);
        try {
            const { forward, backward } = layout(AREA);
            const wide = fitted(1920, 1080), tall = fitted(480, 640);
            const slide1 = [{ at: [320, 240], color: SLIDE_COLORS[0] }, { at: [320, 20], color: SLIDE_COLORS[0] }];
            const slide2 = [{ at: [320, 240], color: SLIDE_COLORS[1] },
                { at: [320, wide.top / 2], color: BACKGROUND }, { at: [320, (wide.bottom + AREA.height) / 2], color: BACKGROUND }];
            const slide3 = [{ at: [320, 240], color: SLIDE_COLORS[2] }, { at: [320, 20], color: SLIDE_COLORS[2] },
                { at: [tall.left / 2, 240], color: BACKGROUND }, { at: [(tall.right + AREA.width) / 2, 240], color: BACKGROUND }];
            await movie.waitForColors(slide1);
            await movie.click(...forward);
            await movie.waitForColors(slide2);
            await movie.click(...forward);
            await movie.waitForColors(slide3);
            await movie.click(...backward);
            await movie.waitForColors(slide2);
        } finally {
            await movie.close();
        }
    });
});
