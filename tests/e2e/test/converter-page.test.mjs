// The page of --html: opened in headless Chromium as a viewer would open it,
// it plays the show through Ruffle fitted to the window with the keyboard on
// the player, and with --keys the arrow, page and space keys navigate.

import assert from "node:assert/strict";
import { existsSync, symlinkSync } from "node:fs";
import { dirname, join } from "node:path";
import { createRequire } from "node:module";
import { after, before, describe, it } from "node:test";
import { convertDeck } from "../lib/converted.mjs";
import { BACKGROUND } from "../lib/deck.mjs";
import { MoviePage, colorDistance, sharedPlayer } from "../lib/player.mjs";
import { decodePng } from "../lib/png.mjs";
import { expectSlide, layout, pause } from "../lib/show.mjs";

const require = createRequire(import.meta.url);
const RUFFLE_DIR = dirname(require.resolve("@ruffle-rs/ruffle/package.json"));

// Stops on frames 0, 1 and 3: slides 1, 2 and 4; the backward button of
// frame 3 goes back to frame 1.
const DECK = { count: 5, width: 640, height: 480, stops: "0\n1\n3\n" };

// A deck converted with a page beside the movie and the player's files in
// ruffle/ beside the page, as `make demo` lays them out (the test's pinned
// player where the converter's build has none to put there).
function convertWithPage(name, args, deck = DECK) {
    const converted = convertDeck(name, deck, ["--html", "show.html", ...args]);
    const player = join(converted.deck.dir, "ruffle");
    if (!existsSync(player)) symlinkSync(RUFFLE_DIR, player);
    return converted;
}

const withKeys = convertWithPage("page-keys", ["--keys"]);
const withoutKeys = convertWithPage("page-plain", []);
const elsewhere = convertDeck("page-ruffle-url", DECK, ["--html", "show.html", "--ruffle", "/ruffle/ruffle.js"]);

// A deck as a presentation program exports it: 1920 x 1080 slides, a show of
// 1920 x 1120 with its button band. Stops on frames 0 and 1.
const WIDE = { count: 3, width: 1920, height: 1080, stops: "0\n1\n" };
const wide = convertWithPage("page-wide", ["--keys"], WIDE);

describe("the converter's page in Chromium", () => {
    const { server, browser } = sharedPlayer();

    async function open(converted, check, viewport) {
        const { deck } = converted;
        const movie = await MoviePage.openPage(browser(), server().addFolder(deck.dir) + "show.html",
            { width: deck.width, height: deck.height + 40, viewport });
        try {
            await check(movie);
        } finally {
            await movie.close();
        }
    }

    it("shows the first slide, the keyboard on the player; with --keys, Right, Page Down and Space go forward, Left and Page Up back",
        () => open(withKeys, async (movie) => {
            const { deck } = withKeys;
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

    // The player's box where the fit puts it in a window of `viewport`: the
    // show's aspect kept, as large as the window allows, in its middle.
    async function expectFitted(movie, viewport) {
        const box = await movie.page.locator("ruffle-player").boundingBox();
        const scale = Math.min(viewport.width / movie.width, viewport.height / movie.height);
        const expected = { width: movie.width * scale, height: movie.height * scale };
        expected.x = (viewport.width - expected.width) / 2;
        expected.y = (viewport.height - expected.height) / 2;
        for (const key of ["x", "y", "width", "height"]) {
            assert.ok(Math.abs(box[key] - expected[key]) <= 1, `the player's ${key} is ${box[key]}, not ${expected[key]} in ${viewport.width} x ${viewport.height}`);
        }
        movie.origin = { x: box.x, y: box.y };
        movie.scale = box.width / movie.width;
    }

    // The slide area's corners show the slide, both buttons differ from the
    // band behind them, and the window outside the show is the page's background.
    async function expectWholeShow(movie, deck, n, viewport) {
        const color = deck.slides[n - 1].color;
        const { width, height } = deck;
        const corners = [[2, 2], [width - 3, 2], [2, height - 3], [width - 3, height - 3]];
        await movie.waitForColors(corners.map((at) => ({ at, color })), { timeout: 20000 });
        const { forward, backward } = layout(deck);
        for (const [name, at] of [["forward", forward], ["backward", backward]]) {
            const [x, y] = movie.pagePoint(at);
            assert.ok(x >= 0 && x < viewport.width && y >= 0 && y < viewport.height, `the ${name} button is off the window`);
            const [seen] = await movie.sample([at]);
            assert.ok(colorDistance(seen, BACKGROUND) > 30, `no ${name} button at its place: ${seen}`);
        }
        const page = [0x20, 0x20, 0x20];
        const shot = await movie.page.screenshot({ type: "png" });
        const pixels = decodePng(shot);
        const at = (x, y) => { const i = (y * pixels.width + x) * 4; return [pixels.pixels[i], pixels.pixels[i + 1], pixels.pixels[i + 2]]; };
        const box = await movie.page.locator("ruffle-player").boundingBox();
        const outside = [];
        if (box.x >= 2) outside.push([0, Math.round(viewport.height / 2)], [viewport.width - 1, Math.round(viewport.height / 2)]);
        if (box.y >= 2) outside.push([Math.round(viewport.width / 2), 0], [Math.round(viewport.width / 2), viewport.height - 1]);
        assert.ok(outside.length > 0, "the show leaves no letterbox in this window");
        for (const [x, y] of outside) assert.ok(colorDistance(at(x, y), page) <= 2, `(${x}, ${y}) is ${at(x, y)}, not the page's background`);
    }

    for (const viewport of [{ width: 1920, height: 1080 }, { width: 1280, height: 720 }, { width: 800, height: 600 }]) {
        it(`fits a 1920 x 1120 show to a ${viewport.width} x ${viewport.height} window: the whole slide area and both buttons show, the first click on the forward button goes forward`,
            () => open(wide, async (movie) => {
                await expectFitted(movie, viewport);
                await expectWholeShow(movie, wide.deck, 1, viewport);
                assert.ok(await movie.playerHasFocus(), "the keyboard is not on the player");
                await movie.click(...layout(wide.deck).forward);
                await expectSlide(movie, wide.deck, 2);
                // The player's notices open at the first mouse-over, as the click's was.
                assert.deepEqual(await movie.openDialogs(), [], "the player shows a notice over the show");
            }, viewport));
    }

    it("refits the show when the window is resized", () => open(wide, async (movie) => {
        await expectFitted(movie, { width: 1280, height: 720 });
        await expectWholeShow(movie, wide.deck, 1, { width: 1280, height: 720 });
        for (const viewport of [{ width: 800, height: 600 }, { width: 1920, height: 1080 }]) {
            await movie.page.setViewportSize(viewport);
            await movie.page.waitForFunction(([w, h]) => innerWidth === w && innerHeight === h, [viewport.width, viewport.height]);
            await expectFitted(movie, viewport);
            await expectWholeShow(movie, wide.deck, 1, viewport);
        }
    }, { width: 1280, height: 720 }));

    it("F and the page's button put the page in full screen and take it out again", () => open(wide, async (movie) => {
        await expectSlide(movie, wide.deck, 1, { timeout: 20000 });
        const fullScreen = () => movie.page.waitForFunction(() => document.fullscreenElement === document.documentElement,
            null, { timeout: 5000 });
        await movie.press("f");
        await fullScreen();
        assert.ok(await movie.playerHasFocus(), "the keyboard left the player");
        await movie.press("F");
        await movie.page.waitForFunction(() => !document.fullscreenElement, null, { timeout: 5000 });
        const button = movie.page.locator("#fullscreen");
        await movie.page.mouse.move(640, 100);
        await button.click();
        await fullScreen();
        // The button's title follows (on the full-screen change event, which comes a frame later).
        await movie.page.waitForFunction(() => document.getElementById("fullscreen").title === "Leave full screen (F)",
            null, { timeout: 5000 });
        // The player takes the full screen's size in the frames after the
        // change; a key that comes while it is busy with that is dropped
        // ("Unable to borrow Ruffle instance"). Given once more while the
        // first slide stays, the key must then be taken.
        await movie.page.evaluate(() => new Promise((resolve) => requestAnimationFrame(() => requestAnimationFrame(resolve))));
        await movie.press("ArrowRight");
        try {
            await expectSlide(movie, wide.deck, 2, { timeout: 3000 });
        } catch (error) {
            const first = wide.deck.slides[0].color;
            const stayed = (await movie.sample(layout(wide.deck).slide)).every((c) => colorDistance(c, first) <= 12);
            if (!stayed) throw error;
            await movie.press("ArrowRight");
            await expectSlide(movie, wide.deck, 2); // the keyboard is back on the player
        }
    }, { width: 1280, height: 720 }));
});
