// The converter's movies read by independent readers: swf-parser (every tag,
// header, frames, SWF 4 only) and ffmpeg (the slide JPEGs, byte for byte).

import assert from "node:assert/strict";
import { readFileSync } from "node:fs";
import { join } from "node:path";
import { describe, it } from "node:test";
import { convertDeck, needs } from "../lib/converted.mjs";
import { ASSETS, convert, REPO } from "../lib/deck.mjs";
import { extractJpegs, unframeJpeg } from "../lib/media.mjs";
import { assertClean, checkSwf, tagsOf } from "../lib/swf-check.mjs";

const decks = {
    "640 x 480, 5 slides": convertDeck("small", { count: 5, width: 640, height: 480, stops: "0\n1\n3\n" }),
    "1920 x 1080, 3 slides": convertDeck("large", { count: 3, width: 1920, height: 1080, stops: "0\n1\n" }),
    "640 x 480, no slides": convertDeck("empty", { count: 0, width: 640, height: 480, stops: "" }),
};
const withSlides = Object.values(decks).find((c) => c.deck.count > 0);

describe("converter's movies in swf-parser", () => {
    for (const [name, converted] of Object.entries(decks)) {
        it(`${name}: reads cleanly with the slide size, 12 fps and SWF 4 only`, () => {
            const { check, deck } = converted;
            assertClean(check);
            assert.equal(check.header.version, 4);
            assert.deepEqual(check.header.frameSize, { xMin: 0, xMax: deck.width * 20, yMin: 0, yMax: deck.height * 20 + 800 });
            assert.equal(check.header.frameRate, 12);
            assert.equal(check.header.frameCount, check.showFrames);
        });
    }

    it("the sample deck reads cleanly", () => {
        const sample = { dir: join(REPO, "examples/deck"), prefix: "deck", count: 5, config: join(ASSETS, "config.txt") };
        const run = convert(sample, join(decks["640 x 480, no slides"].deck.dir, "sample.swf"));
        assert.equal(run.status, 0, run.stderr);
        assertClean(checkSwf(run.bytes));
    });

    for (const [name, converted] of Object.entries(decks)) {
        it(`${name}: one frame per slide, an empty frame and the closing frame`, { skip: needs(withSlides, "slides", "notice") }, () => {
            assert.equal(converted.check.header.frameCount, converted.deck.count + 2);
        });
    }

    it("each slide's JPEG is stored unchanged inside the tag's marker framing", { skip: needs(withSlides, "slides") }, () => {
        for (const { check, deck } of Object.values(decks)) {
            const stored = tagsOf(check, 21).map((t) => unframeJpeg(t.parsed.data));
            const buttons = ["forward.jpg", "backward.jpg"].map((f) => readFileSync(join(ASSETS, f)));
            const slides = stored.filter((jpeg) => !buttons.some((b) => b.equals(jpeg)));
            assert.equal(slides.length, deck.count, "JPEGs that are neither a slide nor a button image");
            slides.forEach((jpeg, i) => assert.ok(jpeg.equals(deck.slides[i].bytes), `slide ${i + 1} differs`));
        }
    });
});

describe("converter's movies in ffmpeg", () => {
    it("ffmpeg extracts every JPEG; the slides equal their files, in order", { skip: needs(withSlides, "slides") }, () => {
        const buttons = ["forward.jpg", "backward.jpg"].map((f) => readFileSync(join(ASSETS, f)));
        for (const { run, check, deck } of Object.values(decks).filter((c) => c.deck.count > 0)) {
            const extracted = extractJpegs(run.file).map(unframeJpeg);
            assert.equal(extracted.length, tagsOf(check, 21).length, "JPEGs extracted against DefineBitsJPEG2 tags");
            const slides = extracted.filter((jpeg) => !buttons.some((b) => b.equals(jpeg)));
            assert.equal(slides.length, deck.count);
            slides.forEach((jpeg, i) => assert.ok(jpeg.equals(deck.slides[i].bytes), `slide ${i + 1} from ffmpeg differs`));
        }
    });
});
