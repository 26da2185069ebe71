// Proves the player harness on a hand-made movie, independent of the
// converter: the colours sampled are the movie's, and a click reaches a button.

import assert from "node:assert/strict";
import { after, before, describe, it } from "node:test";
import { MoviePage, sharedPlayer } from "../lib/player.mjs";
import { assertClean, checkSwf } from "../lib/swf-check.mjs";
import * as w from "../lib/swf-writer.mjs";

const BACKGROUND = [0x33, 0x66, 0x99];
const RED = [255, 0, 0], GREEN = [0, 255, 0], BLUE = [0, 0, 255];

// 400 x 300 pixels: a red square (100..200, 50..150) and a blue button
// (50..100, 200..250) on frame 0, which stops; the button plays on to frame 1,
// which covers the square in green and stops.
function clickMovie() {
    const square = { xMin: 2000, xMax: 4000, yMin: 1000, yMax: 3000 };
    return w.movie({
        width: 8000, height: 6000, frames: [
            [
                w.setBackgroundColor(BACKGROUND),
                w.defineRectangle(1, square, { rgb: RED }),
                w.placeObject2({ depth: 1, id: 1 }),
                w.defineRectangle(2, { xMin: 0, xMax: 1000, yMin: 0, yMax: 1000 }, { rgb: BLUE, code: 32 }),
                w.defineButton2(3, { shapeId: 2, actions: [w.action.play()] }),
                w.placeObject2({ depth: 2, id: 3, x: 1000, y: 4000 }),
                w.doAction([w.action.stop()]),
            ],
            [
                w.defineRectangle(4, square, { rgb: GREEN }),
                w.placeObject2({ depth: 3, id: 4 }),
                w.doAction([w.action.stop()]),
            ],
        ],
    });
}

describe("player harness on a hand-made movie", () => {
    const { server, browser } = sharedPlayer();

    it("is a well-formed SWF 4 movie", () => {
        assertClean(checkSwf(clickMovie()));
    });

    it("samples the background, a shape and a button, and a click on the button plays on", async () => {
        const movie = await MoviePage.open(browser(), server(), clickMovie());
        try {
            assert.equal(movie.width, 400);
            assert.equal(movie.height, 300);
            await movie.waitForColors([
                { at: [5, 5], color: BACKGROUND },
                { at: [395, 295], color: BACKGROUND },
                { at: [150, 100], color: RED },
                { at: [75, 225], color: BLUE },
            ], { tolerance: 2 });
            // Frame 0 stops: the square stays red.
            await new Promise((resolve) => setTimeout(resolve, 400));
            assert.deepEqual(await movie.sample([[150, 100]]), [RED]);

            // A click beside the button does nothing.
            await movie.click(150, 225);
            await new Promise((resolve) => setTimeout(resolve, 400));
            assert.deepEqual(await movie.sample([[150, 100]]), [RED]);

            await movie.click(75, 225);
            assert.deepEqual(await movie.openDialogs(), []);
            await movie.waitForColors([{ at: [150, 100], color: GREEN }, { at: [5, 5], color: BACKGROUND }], { tolerance: 2 });
            await new Promise((resolve) => setTimeout(resolve, 400));
            assert.deepEqual(await movie.sample([[150, 100]]), [GREEN]);
        } finally {
            await movie.close();
        }
    });

    it("renders a JPEG bitmap fill", async () => {
        const { writeFlatJpeg } = await import("../lib/media.mjs");
        const { scratchDir } = await import("../lib/deck.mjs");
        const { readFileSync } = await import("node:fs");
        const file = `${scratchDir("bitmap")}/slide.jpg`;
        const color = [0x2c, 0xa0, 0x2c];
        writeFlatJpeg(file, color, 64, 48);
        const bytes = w.movie({
            width: 2560, height: 1920, frames: [[
                w.setBackgroundColor(BACKGROUND),
                w.defineBitsJpeg2(1, readFileSync(file)),
                w.defineRectangle(2, { xMin: 20, xMax: 2560, yMin: 20, yMax: 1920 }, { bitmap: { id: 1, width: 64, height: 48 }, code: 32 }),
                w.placeObject2({ depth: 1, id: 2 }),
                w.doAction([w.action.stop()]),
            ]],
        });
        assertClean(checkSwf(bytes));
        const movie = await MoviePage.open(browser(), server(), bytes);
        try {
            await movie.waitForColors([
                { at: [0, 50], color: BACKGROUND },
                { at: [2, 2], color },
                { at: [64, 48], color },
                { at: [127, 95], color },
            ]);
        } finally {
            await movie.close();
        }
    });
});
