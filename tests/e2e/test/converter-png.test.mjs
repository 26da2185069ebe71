// A deck of PNG slides, converted with the default configuration (a 640 x 480
// slide area) and played in Ruffle: opaque slides show their exact colours
// in both lossless forms; a slide with an alpha channel lies on a matte, so
// its transparent parts show the background, never the slide before. Its
// alpha is checked on the decoded tag: Ruffle's canvas renderer draws
// DefineBitsLossless2 as if it were not premultiplied.

import assert from "node:assert/strict";
import { writeFileSync } from "node:fs";
import { join } from "node:path";
import { describe, it } from "node:test";
import { inflateSync } from "node:zlib";
import { ASSETS, BACKGROUND, convert, scratchDir } from "../lib/deck.mjs";
import { MoviePage, sharedPlayer } from "../lib/player.mjs";
import { encodePng } from "../lib/png.mjs";
import { layout } from "../lib/show.mjs";
import { assertClean, checkSwf, tagsOf } from "../lib/swf-check.mjs";

const AREA = { width: 640, height: 480 }; // assets/config.txt, the default

// Colours that are not multiples of anything: a renderer that rounds them
// through another precision would show it.
const QUADRANTS = [
    [[0x12, 0x34, 0x56], [0xfe, 0xdc, 0xba], [0x01, 0x80, 0xff], [0x7f, 0x7f, 0x03]],
    [[0x9a, 0x1b, 0x6e], [0x33, 0xc5, 0x0d], [0xe7, 0x71, 0x29], [0x05, 0x4a, 0x8c]],
];
const OPAQUE = [0x2c, 0xa0, 0x2c];
const TRANSLUCENT = [0xff, 0x40, 0x00, 0x80];

// RGBA pixels of a slide of the area's size, colour(x, y) each.
function pixels(colour) {
    const rgba = Buffer.alloc(AREA.width * AREA.height * 4);
    for (let y = 0; y < AREA.height; ++y) {
        for (let x = 0; x < AREA.width; ++x) {
            const [r, g, b, a = 255] = colour(x, y);
            rgba.set([r, g, b, a], (y * AREA.width + x) * 4);
        }
    }
    return rgba;
}

const quadrant = (colours) => (x, y) => colours[(y >= AREA.height / 2 ? 2 : 0) + (x >= AREA.width / 2 ? 1 : 0)];

// Slide 1: four colours, colour-mapped. Slide 2: four colours over a band of
// a gradient at the bottom, more than 256 colours: 32-bit. Slide 3: its left
// half opaque, a translucent band, the rest transparent. Slide 4 plays on.
const deck = (() => {
    const dir = scratchDir("png");
    const slides = [
        encodePng(AREA.width, AREA.height, pixels(quadrant(QUADRANTS[0])), { alpha: false }),
        encodePng(AREA.width, AREA.height,
            pixels((x, y) => (y >= AREA.height - 40 ? [x & 0xff, y & 0xff, x >> 2] : quadrant(QUADRANTS[1])(x, y))),
            { alpha: false }),
        encodePng(AREA.width, AREA.height,
            pixels((x, y) => (x < AREA.width / 2 ? OPAQUE : y < 40 ? TRANSLUCENT : [0x10, 0x20, 0x30, 0]))),
        encodePng(AREA.width, AREA.height, pixels(() => OPAQUE), { alpha: false }),
    ];
    slides.forEach((png, i) => writeFileSync(join(dir, `shot_${String(i + 1).padStart(3, "0")}.png`), png));
    writeFileSync(join(dir, "shot.stp"), "0\n1\n2\n");
    const converted = { dir, prefix: "shot_", count: slides.length, config: join(ASSETS, "config.txt") };
    return { ...converted, run: convert(converted, join(dir, "shot.swf")) };
})();

// The pixels of a lossless bitmap tag as swf-parser hands it out (its body
// after the ID): [r, g, b, a] each, premultiplied as stored.
function decodeLossless({ data }, alpha) {
    const format = data[0], width = data.readUInt16LE(1), height = data.readUInt16LE(3);
    const out = [];
    if (format === 3) {
        const entries = data[5] + 1, entry = alpha ? 4 : 3;
        const raw = inflateSync(data.subarray(6));
        const stride = (width + 3) & ~3;
        for (let y = 0; y < height; ++y) {
            for (let x = 0; x < width; ++x) {
                const at = raw[entries * entry + y * stride + x] * entry;
                out.push([raw[at], raw[at + 1], raw[at + 2], alpha ? raw[at + 3] : 255]);
            }
        }
    } else {
        const raw = inflateSync(data.subarray(5));
        for (let i = 0; i < width * height * 4; i += 4) out.push([raw[i + 1], raw[i + 2], raw[i + 3], raw[i]]);
    }
    return { format, width, height, pixels: out };
}

describe("a PNG deck", () => {
    const { server, browser } = sharedPlayer();

    it("converts silently and reads clean in swf-parser, each slide in its lossless form", () => {
        assert.equal(deck.run.status, 0, deck.run.stderr);
        assert.equal(deck.run.stderr, "");
        const check = checkSwf(deck.run.bytes);
        assertClean(check);
        const opaque = tagsOf(check, 20).map((t) => t.parsed.data[0]);
        assert.deepEqual(opaque, [3, 5, 3]); // slides 1, 2 and 4
        assert.equal(tagsOf(check, 36).length, 1);
    });

    it("keeps the translucent slide's alpha, premultiplied, in its DefineBitsLossless2", () => {
        const [tag] = tagsOf(checkSwf(deck.run.bytes), 36);
        const bitmap = decodeLossless(tag.parsed, true);
        assert.equal(bitmap.format, 3);
        assert.deepEqual([bitmap.width, bitmap.height], [AREA.width, AREA.height]);
        const at = (x, y) => bitmap.pixels[y * bitmap.width + x];
        const [r, g, b, a] = TRANSLUCENT;
        const premultiplied = [r, g, b].map((c) => Math.round((c * a) / 255));
        assert.deepEqual(at(0, 0), [...OPAQUE, 255]);
        assert.deepEqual(at(AREA.width - 1, 0), [...premultiplied, a]);
        assert.deepEqual(at(AREA.width - 1, AREA.height - 1), [0, 0, 0, 0]);
    });

    it("shows the opaque slides' colours exactly, and the matte through the transparent one", async () => {
        const movie = await MoviePage.open(browser(), server(), deck.run.bytes);
        try {
            const { forward } = layout(AREA);
            const centres = [[160, 120], [480, 120], [160, 360], [480, 360]];
            for (const colours of QUADRANTS) {
                if (colours !== QUADRANTS[0]) await movie.click(...forward);
                await movie.waitForColors(centres.map((at, k) => ({ at, color: colours[k] })), { tolerance: 0 });
            }
            await movie.click(...forward);
            // Where slide 3 is transparent, the matte hides slide 2.
            await movie.waitForColors([
                { at: [160, 240], color: OPAQUE },
                { at: [480, 120], color: BACKGROUND },
                { at: [480, 360], color: BACKGROUND },
            ], { tolerance: 0 });
        } finally {
            await movie.close();
        }
    });
});
