// A PDF deck, made by the build's generator, converted in one step (pages as
// vectors, and with --raster as pictures) and played in Ruffle: each page's
// corner squares where the fit puts them, the background beside a portrait
// page (the page before taken off), forward and back by click and by key.

import assert from "node:assert/strict";
import { execFileSync, spawnSync } from "node:child_process";
import { existsSync, readFileSync } from "node:fs";
import { dirname, join } from "node:path";
import { describe, it } from "node:test";
import { ASSETS, BACKGROUND, CONVERTER, scratchDir } from "../lib/deck.mjs";
import { MoviePage, sharedPlayer } from "../lib/player.mjs";
import { layout } from "../lib/show.mjs";
import { assertClean, checkSwf } from "../lib/swf-check.mjs";

const MAKEPDF = process.env.CORVANEX_MAKEPDF || join(dirname(CONVERTER), "makepdf");
const withPDF = existsSync(MAKEPDF) &&
    spawnSync(CONVERTER, ["--help"], { encoding: "utf8" }).stdout.includes("<deck.pdf>");

// 960 x 540 points at 96 dpi.
const AREA = { width: 1280, height: 720 };
// Page 4 is checked at rest with a page after it, as a page in the middle of
// a deck (the last page waits too, for the click that shows the closing notice).
const PAGES = 5;
const PORTRAIT = 3;
// Page 1 links to this page over its first colour block, 120 points square
// from (48, 360) points at the page's top left.
const LINKED = 4;
const LINK_AT = [(48 + 60) * AREA.width / 960, (360 + 60) * AREA.width / 960];

// The generator's corner colour of page n: levels of 85 in each channel.
const cornerColor = (n) => [(n & 3) * 85, (n >> 2 & 3) * 85, (n >> 4 & 3) * 85];

// Where page n lies in the slide area, in movie pixels, and its corner
// squares' side (60 points at the page's scale).
function placed(n) {
    const [w, h] = n === PORTRAIT ? [540, 960] : [960, 540];
    const scale = Math.min(AREA.width / w, AREA.height / h);
    const left = (AREA.width - w * scale) / 2, top = (AREA.height - h * scale) / 2;
    return { left, top, right: left + w * scale, bottom: top + h * scale, square: 60 * scale };
}

// The middle of each corner square, and (for a page narrower than the area)
// points of the bands beside it, which show the background.
function expected(n) {
    const box = placed(n), half = box.square / 2;
    const corners = [[box.left + half, box.top + half], [box.right - half, box.top + half],
        [box.left + half, box.bottom - half], [box.right - half, box.bottom - half]];
    const points = corners.map((at) => ({ at, color: cornerColor(n) }));
    if (box.left > 20) points.push({ at: [box.left / 2, 360], color: BACKGROUND }, { at: [(box.right + AREA.width) / 2, 360], color: BACKGROUND });
    return points;
}

// The deck converted in one step: by default each page as vector content,
// with --raster as a picture.
function convert(form) {
    if (!withPDF) return undefined;
    const dir = scratchDir(`pdf-${form.name}`);
    const pdf = join(dir, "talk.pdf");
    execFileSync(MAKEPDF, ["--pages", String(PAGES), "--portrait", String(PORTRAIT), "--numbered", "--link", `1:${LINKED}`, pdf]);
    const out = join(dir, "talk.swf");
    const run = spawnSync(CONVERTER, [...form.options, "--keys", "--forward", join(ASSETS, "forward.jpg"), "--backward",
        join(ASSETS, "backward.jpg"), pdf, out], { cwd: dir, encoding: "utf8", timeout: 60000 });
    return { run, pdf, bytes: existsSync(out) ? readFileSync(out) : undefined };
}

// The maker's text is in standard fonts it does not embed: named once each.
function fontLines(pdf) {
    return `corvanex: the PDF '${pdf}' does not embed the font 'Helvetica': it is drawn with 'TeXGyreHeros-Regular'\n` +
        `corvanex: the PDF '${pdf}' does not embed the font 'Helvetica-Bold': it is drawn with 'TeXGyreHeros-Bold'\n`;
}

// Page 1's link, the one thing of the PDF's presentation it carries.
const CARRIED = "corvanex: carried from the PDF: 1 link\n";

const FORMS = [
    { name: "vector", options: [], said: (pdf) => fontLines(pdf) + `corvanex: pages: ${PAGES} vector, 0 partly raster, 0 raster\n` + CARRIED },
    { name: "raster", options: ["--raster"], said: (pdf) => fontLines(pdf) + CARRIED },
];

for (const form of FORMS) {
    describe(`PDF deck (${form.name} pages)`, { skip: withPDF ? false : "converter built without PDF support, or no makepdf" }, () => {
        const { server, browser } = sharedPlayer();
        const converted = convert(form);

        it("converts in one step and reads clean in swf-parser", () => {
            assert.equal(converted.run.status, 0, converted.run.stderr);
            assert.equal(converted.run.stderr, form.said(converted.pdf));
            const check = checkSwf(converted.bytes);
            assertClean(check);
            assert.deepEqual(check.header.frameSize, { xMin: 0, xMax: AREA.width * 20, yMin: 0, yMax: AREA.height * 20 + 800 });
        });

        it("shows each page where the fit puts it and steps forward and back by click and key", async () => {
            const movie = await MoviePage.open(browser(), server(), converted.bytes);
            try {
                const { forward, backward } = layout(AREA);
                const tolerance = 16;
                await movie.waitForColors(expected(1), { tolerance, timeout: 20000 });
                await movie.click(...forward);
                await movie.waitForColors(expected(2), { tolerance });
                await movie.press("ArrowRight");
                await movie.waitForColors(expected(3), { tolerance });
                await movie.press("ArrowLeft");
                await movie.waitForColors(expected(2), { tolerance });
                await movie.click(...backward);
                await movie.waitForColors(expected(1), { tolerance });
                await movie.press("ArrowRight");
                await movie.waitForColors(expected(2), { tolerance });
                await movie.press("ArrowRight");
                await movie.waitForColors(expected(3), { tolerance });
                await movie.click(...forward);
                await movie.waitForColors(expected(4), { tolerance });
            } finally {
                await movie.close();
            }
        });

        it("follows a page's link to the page it names, which waits there", async () => {
            const movie = await MoviePage.open(browser(), server(), converted.bytes);
            try {
                const tolerance = 16;
                await movie.waitForColors(expected(1), { tolerance, timeout: 20000 });
                await movie.click(...LINK_AT);
                await movie.waitForColors(expected(LINKED), { tolerance });
                // Held by its own stop: still there a moment later.
                await new Promise((resolve) => setTimeout(resolve, 500));
                await movie.waitForColors(expected(LINKED), { tolerance });
            } finally {
                await movie.close();
            }
        });
    });
}
