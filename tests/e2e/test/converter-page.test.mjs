// The page of --html: opened in headless Chromium as a viewer would open it,
// it plays the show through Ruffle at the movie's size with the keyboard on
// the player, and with --keys the arrow, page and space keys navigate.

import assert from "node:assert/strict";
import { symlinkSync } from "node:fs";
import { dirname, join } from "node:path";
import { createRequire } from "node:module";
import { after, before, describe, it } from "node:test";
import { convertDeck } from "../lib/converted.mjs";
import { MoviePage, sharedPlayer } from "../lib/player.mjs";
import { expectSlide, pause } from "../lib/show.mjs";

const require = createRequire(import.meta.url);
const RUFFLE_DIR = dirname(require.resolve("@ruffle-rs/ruffle/package.json"));

// Stops on frames 0, 1 and 3: slides 1, 2 and 4; the backward button of
// frame 3 goes back to frame 1.
const DECK = { count: 5, width: 640, height: 480, stops: "0\n1\n3\n" };

// A deck converted with a page beside the movie and the player's files in
// ruffle/ beside the page, as `make demo` lays them out.
function convertWithPage(name, args) {
    const converted = convertDeck(name, DECK, ["--html", "show.html", ...args]);
    symlinkSync(RUFFLE_DIR, join(converted.deck.dir, "ruffle"));
    return converted;
}

const withKeys = convertWithPage("page-keys", ["--keys"]);
const withoutKeys = convertWithPage("page-plain", []);
const elsewhere = convertDeck("page-ruffle-url", DECK, ["--html", "show.html", "--ruffle", "/ruffle/ruffle.js"]);

describe("the converter's page in Chromium", () => {
    const { server, browser } = sharedPlayer();

    async function open(converted, check) {
        const movie = await MoviePage.openPage(browser(), server().addFolder(converted.deck.dir) + "show.html");
        try {
            await check(movie);
        } finally {
            await movie.close();
        }
    }

    it("shows the first slide at the movie's size, the keyboard on the player; with --keys, Right, Page Down and Space go forward, Left and Page Up back",
        () => open(withKeys, async (movie) => {
            const { deck } = withKeys;
            assert.equal(movie.width, DECK.width);
            assert.equal(movie.height, DECK.height + 40);
            await expectSlide(movie, deck, 1, { timeout: 20000 });
            assert.ok(await movie.playerHasFocus(), "the keyboard is not on the player");
            await movie.press("ArrowRight");
            await expectSlide(movie, deck, 2);
            await movie.press("ArrowRight");
            await expectSlide(movie, deck, 4); // frame 2 plays through to frame 3
            await movie.press("ArrowLeft");
            await expectSlide(movie, deck, 2); // the previous stop point, as the button on show
            await movie.press("PageUp");
            await expectSlide(movie, deck, 1);
            await movie.press("PageDown");
            await expectSlide(movie, deck, 2);
            await movie.press("Space");
            await expectSlide(movie, deck, 4);
            await movie.press("ArrowLeft");
            await expectSlide(movie, deck, 2);
        }));

    it("without --keys the keys do nothing", () => open(withoutKeys, async (movie) => {
        const { deck } = withoutKeys;
        await expectSlide(movie, deck, 1, { timeout: 20000 });
        assert.ok(await movie.playerHasFocus(), "the keyboard is not on the player");
        for (const key of ["ArrowRight", "PageDown", "Space"]) await movie.press(key);
        await pause(500);
        await expectSlide(movie, deck, 1);
    }));

    it("--ruffle sets where the page loads the player from", () => open(elsewhere, async (movie) => {
        await expectSlide(movie, elsewhere.deck, 1, { timeout: 20000 });
    }));
});
