// The converter's player checks run on slide shows written by our own small
// writer in the converter's layout, so that the checks are known to work
// (and to fail) before the converter writes shows of its own.

import assert from "node:assert/strict";
import { after, before, describe, it } from "node:test";
import { makeDeck, scratchDir } from "../lib/deck.mjs";
import { mockShow } from "../lib/mock-show.mjs";
import { MoviePage, sharedPlayer } from "../lib/player.mjs";
import { expectNotice, expectSlide, walkFiveSlides, walkThreeSlides } from "../lib/show.mjs";
import { assertClean, checkSwf } from "../lib/swf-check.mjs";

const small = makeDeck(scratchDir("mock-small"), { count: 5, width: 640, height: 480, stops: "0\n1\n3\n" });
const large = makeDeck(scratchDir("mock-large"), { count: 3, width: 1920, height: 1080, stops: "0\n1\n" });

describe("slide-show checks on hand-made shows", () => {
    const { server, browser } = sharedPlayer();

    async function play(bytes, check) {
        assertClean(checkSwf(bytes));
        const movie = await MoviePage.open(browser(), server(), bytes);
        try {
            await check(movie);
        } finally {
            await movie.close();
        }
    }

    it("640 x 480: the walk through five slides to the notice passes", () =>
        play(mockShow(small), (movie) => walkFiveSlides(movie, small, { notice: true })));

    it("1920 x 1080: the walk through three slides to the notice passes", () =>
        play(mockShow(large), (movie) => walkThreeSlides(movie, large, { notice: true })));

    it("catches a show that does not stop on its first slide", () => {
        // Without the final line feed frame 0 is no stop point: the show plays on to slide 2.
        const playsOn = { ...small, stops: "0\n1\n3" };
        return play(mockShow(playsOn), async (movie) => {
            await expectSlide(movie, small, 2);
            await assert.rejects(expectSlide(movie, small, 1, { timeout: 1000 }), /colours not shown within 1000 ms/);
        });
    });

    it("catches a closing notice whose text is not red", () => {
        const empty = { ...small, count: 0 };
        return play(mockShow(empty, { noticeColor: [0, 0, 0] }), async (movie) => {
            await assert.rejects(expectNotice(movie, small, { timeout: 1500 }), /only 0 red pixels over the slide area/);
        });
    });
});
