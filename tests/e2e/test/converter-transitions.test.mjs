// A Beamer talk whose frames come on by transitions (decks/transitions.tex,
// each frame one flat colour), converted and played in Ruffle: a fade shows
// both pages mixed on its way, a wipe part of the new page, a timed page goes
// on by itself, and Home and End go to the first and last page.

import assert from "node:assert/strict";
import { copyFileSync, existsSync, readFileSync } from "node:fs";
import { dirname, join } from "node:path";
import { fileURLToPath } from "node:url";
import { spawnSync } from "node:child_process";
import { describe, it } from "node:test";
import { ASSETS, CONVERTER, scratchDir } from "../lib/deck.mjs";
import { MoviePage, colorDistance, hexColor, sharedPlayer } from "../lib/player.mjs";
import { layout, pause } from "../lib/show.mjs";
import { assertClean, checkSwf } from "../lib/swf-check.mjs";

const SOURCES = join(dirname(fileURLToPath(import.meta.url)), "..", "decks");
const has = (command, args = ["--version"]) => spawnSync(command, args, { stdio: "ignore" }).status === 0;
const help = existsSync(CONVERTER) ? spawnSync(CONVERTER, ["--help"], { encoding: "utf8" }).stdout : "";
const skip = !help.includes("--no-transitions") ? "converter built without PDF support"
    : !(has("pdflatex") && has("kpsewhich", ["beamer.cls"])) ? "no pdflatex with Beamer (texlive-latex-recommended)" : false;

// 16:9 Beamer pages (453.5 x 255.1 points) at 96 dpi.
const AREA = { width: 605, height: 340 };
const RED = [255, 0, 0], GREEN = [0, 255, 0], BLUE = [0, 0, 255], WHITE = [255, 255, 255], ORANGE = [255, 128, 0];
const CENTRE = [AREA.width / 2, AREA.height / 2];
const LEFT = [AREA.width * 0.1, AREA.height / 2], RIGHT = [AREA.width * 0.9, AREA.height / 2];
const near = (color, expected, tolerance = 24) => colorDistance(color, expected) <= tolerance;

function convert() {
    const dir = scratchDir("transitions");
    copyFileSync(join(SOURCES, "transitions.tex"), join(dir, "transitions.tex"));
    const latex = spawnSync("pdflatex", ["-interaction=nonstopmode", "-halt-on-error", "transitions.tex"],
        { cwd: dir, encoding: "utf8", timeout: 120000 });
    assert.equal(latex.status, 0, `pdflatex failed: ${latex.stdout.slice(-2000)}`);
    const out = join(dir, "transitions.swf");
    const run = spawnSync(CONVERTER, ["--keys", "--forward", join(ASSETS, "forward.jpg"), "--backward",
        join(ASSETS, "backward.jpg"), join(dir, "transitions.pdf"), out], { cwd: dir, encoding: "utf8", timeout: 60000 });
    return { run, bytes: existsSync(out) ? readFileSync(out) : undefined };
}

// Samples `points` until `done` says so of their colours, and returns what
// `seen` kept of every sample on the way.
async function watch(movie, points, { done, seen, timeout = 8000 }) {
    const kept = [];
    const deadline = Date.now() + timeout;
    for (;;) {
        const colors = await movie.sample(points);
        if (seen(colors)) kept.push(colors.map(hexColor).join(" "));
        if (done(colors)) return kept;
        if (Date.now() > deadline) throw new Error(`not done within ${timeout} ms; last ${colors.map(hexColor)}`);
    }
}

describe("PDF transitions in the player", { skip }, () => {
    const { server, browser } = sharedPlayer();
    const converted = skip ? undefined : convert();

    it("converts, says what it carried and reads clean in swf-parser", () => {
        assert.equal(converted.run.status, 0, converted.run.stderr);
        assert.match(converted.run.stderr, /^corvanex: carried from the PDF: 7 transitions \(1 fade, 1 wipe, 1 dissolve, 1 blinds, 1 box, 1 split, 1 glitter as dissolve\), 1 timed page$/m);
        const check = checkSwf(converted.bytes);
        assertClean(check);
        assert.equal(check.header.frameRate, 24);
    });

    it("fades through a mix of both pages, wipes across, goes on after a duration, and goes Home and to the End", async () => {
        const movie = await MoviePage.open(browser(), server(), converted.bytes);
        try {
            await movie.waitForColors([{ at: CENTRE, color: RED }], { timeout: 20000 });
            // The fade's two seconds: on the way, red and green at once (the
            // page's paper under its colour is faded with it, as SWF fades
            // each shape by itself, so some white shows through too).
            await movie.click(...layout(AREA).forward);
            const mixed = await watch(movie, [CENTRE], {
                done: ([c]) => near(c, GREEN, 2),
                seen: ([c]) => c[0] > 50 && c[0] < 205 && c[1] > 50 && c[1] < 205,
            });
            assert.ok(mixed.length > 0, "no picture of the fade showed both pages mixed");
            // Its own frame stops it there, as a person would see before going on.
            await pause(300);
            // The wipe's, from the left: blue at the left while the right is still green.
            await movie.press("ArrowRight");
            const part = await watch(movie, [LEFT, RIGHT], {
                done: ([l, r]) => near(l, BLUE, 2) && near(r, BLUE, 2),
                seen: ([l, r]) => near(l, BLUE) && near(r, GREEN),
            });
            assert.ok(part.length > 0, "no picture of the wipe showed part of the new page");
            await pause(300);

            await movie.press("End");
            await movie.waitForColors([{ at: CENTRE, color: ORANGE }], { tolerance: 24 });
            await movie.press("Home");
            await movie.waitForColors([{ at: CENTRE, color: RED }]);
            // Back from the last page to the timed one, which waits its three
            // seconds there and goes on by itself.
            await movie.press("End");
            await movie.waitForColors([{ at: CENTRE, color: ORANGE }], { tolerance: 24 });
            await movie.press("ArrowLeft");
            await movie.waitForColors([{ at: CENTRE, color: WHITE }]);
            const shown = Date.now();
            await pause(1500);
            assert.ok(near((await movie.sample([CENTRE]))[0], WHITE), "the timed page went on too soon");
            await movie.waitForColors([{ at: CENTRE, color: ORANGE }], { tolerance: 24, timeout: 8000 });
            const waited = Date.now() - shown;
            assert.ok(waited >= 2500 && waited < 7000, `the timed page stayed ${waited} ms`);
        } finally {
            await movie.close();
        }
    });
});
