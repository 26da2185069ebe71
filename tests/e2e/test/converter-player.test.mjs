// The converter's slide shows played in Ruffle in headless Chromium, driven
// as a viewer would: look at the slide, click the buttons.

import assert from "node:assert/strict";
import { after, before, describe, it } from "node:test";
import { convertDeck, needs } from "../lib/converted.mjs";
import { BACKGROUND } from "../lib/deck.mjs";
import { MoviePage, sharedPlayer } from "../lib/player.mjs";
import { expectNotice, layout, RUFFLE_DEFAULT_BACKGROUND, walkFiveSlides, walkThreeSlides } from "../lib/show.mjs";

const small = convertDeck("small-player", { count: 5, width: 640, height: 480, stops: "0\n1\n3\n" });
const large = convertDeck("large-player", { count: 3, width: 1920, height: 1080, stops: "0\n1\n" });
const empty = convertDeck("empty-player", { count: 0, width: 640, height: 480, stops: "" });

describe("converter's slide shows in Ruffle", () => {
    const { server, browser } = sharedPlayer();

    async function play(converted, check) {
        const movie = await MoviePage.open(browser(), server(), converted.run.bytes);
        try {
            await check(movie);
        } finally {
            await movie.close();
        }
    }

    for (const converted of [small, large]) {
        const { deck, features } = converted;
        it(`${deck.width} x ${deck.height}: loads at its size and shows the movie's background`, () => play(converted, async (movie) => {
            assert.equal(movie.width, deck.width);
            assert.equal(movie.height, deck.height + 40);
            // Until the movie sets its background the player shows its own.
            const color = features.background ? BACKGROUND : RUFFLE_DEFAULT_BACKGROUND;
            const points = features.slides ? layout(deck).band : [[0, 0], [deck.width - 1, deck.height + 39], ...layout(deck).slide];
            await movie.waitForColors(points.map((at) => ({ at, color })), { tolerance: 2 });
        }));
    }

    it("640 x 480: stops on slide 1, forward and backward go between stop points, the notice ends the show",
        { skip: needs(small, "slides", "buttons") }, (t) => play(small, async (movie) => {
            if (!small.features.notice) t.diagnostic("closing notice not checked: " + needs(small, "notice"));
            await walkFiveSlides(movie, small.deck, { notice: small.features.notice });
        }));

    it("1920 x 1080: stops on slide 1, forward and back, the notice ends the show",
        { skip: needs(large, "slides", "buttons") }, (t) => play(large, async (movie) => {
            if (!large.features.notice) t.diagnostic("closing notice not checked: " + needs(large, "notice"));
            await walkThreeSlides(movie, large.deck, { notice: large.features.notice });
        }));

    it("without slides the show goes straight to the closing notice, red text that stays",
        { skip: needs(empty, "notice") }, () => play(empty, (movie) => expectNotice(movie, empty.deck)));
});
