// Vector pages as a viewer sees them: a deck with a page for each kind of
// thing a slide draws (makefeaturedeck's, and makepdf's page in a font that is
// not embedded) played in Ruffle with its slide area 1920 x 1080 pixels, each
// page compared with pdftoppm's picture of it at that size (see
// lib/imagecompare.mjs for the measures), and its links clicked.
//
// The movie comes from the converter's PDF form when it draws vector pages
// (its --help offers --raster for pictures), else from pdfvector's movie of
// the pages, which has no show and no links. The raster form at 96 dpi is
// measured the same way, for comparison, and not held to the thresholds.
// CORVANEX_KEEP=1 keeps the pictures (vector-N.png, raster-N.png,
// reference-N.png) in the scratch folder named in the log.

import assert from "node:assert/strict";
import { execFileSync, spawnSync } from "node:child_process";
import { copyFileSync, existsSync, readFileSync, writeFileSync } from "node:fs";
import { dirname, join } from "node:path";
import { describe, it } from "node:test";
import { ASSETS, CONVERTER, buttonCenters, scratchDir } from "../lib/deck.mjs";
import { bestOffset, blockPsnr, edgeContrast, median, rasterisePage } from "../lib/imagecompare.mjs";
import { MoviePage, movieSize, sharedPlayer } from "../lib/player.mjs";
import { encodePng } from "../lib/png.mjs";
import { settledCapture, showPictures } from "../lib/settled.mjs";
import { pause } from "../lib/show.mjs";

const tool = (name) => process.env[`CORVANEX_${name.toUpperCase()}`] || join(dirname(CONVERTER), name);
const MAKEFEATUREDECK = tool("makefeaturedeck"), MAKEPDF = tool("makepdf"), PDFVECTOR = tool("pdfvector");

const help = existsSync(CONVERTER) ? spawnSync(CONVERTER, ["--help"], { encoding: "utf8" }).stdout : "";
const pdfForm = help.includes("<deck.pdf>");
const converterVector = pdfForm && help.includes("--raster");
const producer = converterVector ? "converter" : existsSync(PDFVECTOR) ? "pdfvector" : undefined;
const skip = !existsSync(MAKEFEATUREDECK) ? "no makefeaturedeck (a build without PDF support)"
    : !producer ? "neither the converter's vector pages nor pdfvector" : false;

// The slide area as played, and the thresholds every page is held to.
const AREA = { x: 0, y: 0, width: 1920, height: 1080 };
// Pages are measured as a browser with graphics acceleration draws them: the
// canvas renderer composites translucent lossless bitmaps as if their colours
// were not premultiplied, and fills the hole of a ring-shaped (even-odd) clip
// layer. Without a mouse over the player, the software
// adapter's "hardware acceleration" dialog stays away, so the pages are
// stepped through by key.
const MEASURED = { preferredRenderer: "webgl" };
const MIN_PSNR = 27; // dB, each page
const MIN_EDGE_CONTRAST = 0.9; // the median over the pages

// makefeaturedeck's pages, then makepdf's first page (its titles are in
// Helvetica, not embedded: each reader draws it in a stand-in of its own).
function makeDeck(dir) {
    const features = join(dir, "features.pdf");
    const contents = JSON.parse(execFileSync(MAKEFEATUREDECK, [features], { encoding: "utf8" }));
    const pdf = join(dir, "deck.pdf");
    const plain = join(dir, "plain.pdf");
    if (existsSync(MAKEPDF) && spawnSync("pdfunite", ["-v"]).status === 0) {
        execFileSync(MAKEPDF, ["--pages", "1", plain]);
        execFileSync("pdfunite", [features, plain, pdf]);
        contents.titles.push("A font not embedded");
    } else {
        copyFileSync(features, pdf);
    }
    return { pdf, ...contents };
}

// The converter's show of the deck; `args` chooses the form.
function convertDeck(dir, pdf, name, args) {
    const out = join(dir, name);
    const run = spawnSync(CONVERTER, ["--keys", "--forward", join(ASSETS, "forward.jpg"), "--backward", join(ASSETS, "backward.jpg"),
        ...args, pdf, out], { cwd: dir, encoding: "utf8", timeout: 120000 });
    assert.equal(run.status, 0, `the converter failed on the deck: ${run.stderr}`);
    return readFileSync(out);
}

// pdfvector's movie shows a page a second and loops; each page becomes a
// movie of its own holding every definition and only that page's placement.
function pageMovies(bytes) {
    assert.equal(bytes.toString("latin1", 0, 3), "FWS", "pdfvector writes uncompressed movies");
    const rectBytes = Math.ceil((5 + 4 * (bytes[8] >>> 3)) / 8);
    const headerEnd = 8 + rectBytes + 4;
    const definitions = [], placements = [];
    for (let at = headerEnd; at < bytes.length;) {
        const codeAndLength = bytes.readUInt16LE(at);
        const code = codeAndLength >>> 6;
        let length = codeAndLength & 0x3f, start = at + 2;
        if (length === 0x3f) {
            length = bytes.readUInt32LE(at + 2);
            start += 4;
        }
        const whole = bytes.subarray(at, start + length);
        at = start + length;
        if (code === 26) placements.push(whole); // PlaceObject2
        else if (code !== 0 && code !== 1 && code !== 28) definitions.push(whole); // End, ShowFrame, RemoveObject2
    }
    return placements.map((place) => {
        const header = Buffer.from(bytes.subarray(0, headerEnd));
        header.writeUInt16LE(1, headerEnd - 2);
        const movie = Buffer.concat([header, ...definitions, place, Buffer.from([0x40, 0x00, 0x00, 0x00])]);
        movie.writeUInt32LE(movie.length, 4);
        return movie;
    });
}

// The pages pdfvector's table lists a fallback for, with the first reason:
// "page edges shapes texts bitmaps objects clips bytes ms fallback (patches)" a line.
function pdfvectorFallbacks(table) {
    const pages = new Map();
    for (const line of table.split("\n")) {
        const fields = line.trim().split(/\s+/);
        if (fields.length < 10 || !/^\d+$/.test(fields[0])) continue;
        const reason = fields.slice(9, -1).join(" ");  // the patches' count in brackets left off
        if (reason !== "-") pages.set(Number(fields[0]), reason);
    }
    return pages;
}

// The converter's show, opened with its slide area AREA wide; the forward
// button's centre in the player's pixels.
async function openShow(browser, server, bytes, config = {}) {
    const size = movieSize(bytes);
    const scale = AREA.width / size.width;
    const movie = await MoviePage.open(browser, server, bytes, { width: AREA.width, config });
    const [x, y] = buttonCenters({ width: size.width, height: size.height - 40 }).forward;
    return { movie, forward: [x * scale, y * scale] };
}

async function pdfvectorPictures(browser, server, bytes) {
    const shots = [];
    for (const page of pageMovies(bytes)) {
        const movie = await MoviePage.open(browser, server, page, { config: MEASURED });
        try {
            shots.push(await settledCapture(movie, { area: AREA }));
        } finally {
            await movie.close();
        }
    }
    return shots;
}

const measure = (shots, references) => shots.map((shot, i) => ({
    psnr: blockPsnr(shot, references[i]),
    edges: edgeContrast(shot, references[i]),
}));

const figure = (value, digits) => (Number.isFinite(value) ? value.toFixed(digits) : String(value)).padStart(6);

describe("vector pages against a PDF rasteriser", { skip, timeout: 900000 }, () => {
    const { server, browser } = sharedPlayer();
    let dir, deck, references;
    const results = {};

    const prepare = () => {
        if (deck) return;
        dir = scratchDir("vector");
        deck = makeDeck(dir);
        references = deck.titles.map((_, i) => rasterisePage(deck.pdf, i + 1, AREA));
    };

    const keep = (name, shots) => {
        if (!process.env.CORVANEX_KEEP) return;
        shots.forEach((s, i) => writeFileSync(join(dir, `${name}-${i + 1}.png`), encodePng(s.width, s.height, s.pixels, { alpha: false })));
    };

    it(`holds each page to ${MIN_PSNR} dB block PSNR and the median edge contrast to ${MIN_EDGE_CONTRAST} (${producer ?? "no producer"})`, async (t) => {
        prepare();
        keep("reference", references);
        let shots;
        // pdfvector draws no pictures for what vectors cannot say: those pages are measured, not held.
        let unheld = new Map();
        if (producer === "converter") {
            shots = await showPictures(browser(), server(), convertDeck(dir, deck.pdf, "vector.swf", []), deck.titles.length,
                { area: AREA, config: MEASURED });
        } else {
            const run = spawnSync(PDFVECTOR, [deck.pdf, "--width", String(AREA.width), join(dir, "vector.swf")], { encoding: "utf8" });
            assert.equal(run.status, 0, run.stderr);
            unheld = pdfvectorFallbacks(run.stdout);
            shots = await pdfvectorPictures(browser(), server(), readFileSync(join(dir, "vector.swf")));
        }
        keep("vector", shots);
        assert.equal(shots.length, deck.titles.length, "a picture of each page");
        results.vector = measure(shots, references);

        t.diagnostic(`vector pages from ${producer}, pictures in ${dir}`);
        deck.titles.forEach((title, i) => t.diagnostic(
            `page ${String(i + 1).padStart(2)}  PSNR ${figure(results.vector[i].psnr, 1)} dB  edges ${figure(results.vector[i].edges, 2)}  ${title}` +
            (unheld.has(i + 1) ? ` (not held: pdfvector draws no picture for its ${unheld.get(i + 1)})` : "")));
        // A page drawn right but put a pixel off loses most of its decibels to that.
        shots.forEach((shot, i) => {
            const { dx, dy, psnr } = bestOffset(shot, references[i]);
            if (dx || dy) t.diagnostic(`page ${i + 1} lies (${dx}, ${dy}) pixels off the reference's place: ${psnr.toFixed(1)} dB moved back`);
        });
        const held = results.vector.map((r, i) => ({ ...r, page: i + 1 })).filter((r) => !unheld.has(r.page));
        const edges = median(held.map((r) => r.edges));
        t.diagnostic(`median edge contrast ${edges.toFixed(2)}`);

        const low = held.filter((r) => !(r.psnr >= MIN_PSNR));
        assert.deepEqual(low.map((r) => `page ${r.page}: ${r.psnr.toFixed(1)} dB`), [], `pages under ${MIN_PSNR} dB`);
        assert.ok(edges >= MIN_EDGE_CONTRAST, `median edge contrast ${edges.toFixed(2)} under ${MIN_EDGE_CONTRAST}`);
    });

    it("measures the raster form at 96 dpi the same way, for comparison", { skip: pdfForm ? false : "the converter has no PDF form" }, async (t) => {
        prepare();
        const bytes = convertDeck(dir, deck.pdf, "raster.swf", converterVector ? ["--raster"] : []);
        const shots = await showPictures(browser(), server(), bytes, deck.titles.length, { area: AREA, config: MEASURED });
        keep("raster", shots);
        const raster = measure(shots, references);
        t.diagnostic("page   vector: PSNR  edges   raster: PSNR  edges");
        deck.titles.forEach((title, i) => {
            const v = results.vector?.[i] ?? { psnr: NaN, edges: NaN };
            t.diagnostic(`${String(i + 1).padStart(4)}   ${figure(v.psnr, 1)} ${figure(v.edges, 2)}   ${figure(raster[i].psnr, 1)} ${figure(raster[i].edges, 2)}  ${title}`);
        });
        t.diagnostic(`median edge contrast: vector ${results.vector ? median(results.vector.map((r) => r.edges)).toFixed(2) : "-"}, ` +
            `raster ${median(raster.map((r) => r.edges)).toFixed(2)}`);
    });

    it("opens a link's web address and goes to a link's page", { skip: producer === "converter" ? false : "pdfvector's movie has no links" }, async () => {
        prepare();
        const bytes = convertDeck(dir, deck.pdf, "vector.swf", []);
        const { movie, forward } = await openShow(browser(), server(), bytes);
        const context = movie.page.context();
        const requested = [];
        const site = "https://example.org/**";
        // A 204 answer leaves the page where it is, should the player navigate it.
        await context.route(site, (route) => {
            requested.push(route.request().url());
            return route.fulfill({ status: 204, body: "" });
        });
        try {
            const scale = AREA.width / 960; // pixels a point: the pages are 960 points wide
            const centre = ({ rect: [x, y, w, h] }) => [(x + w / 2) * scale, (y + h / 2) * scale];
            let shot = await settledCapture(movie, { area: AREA });
            const linkPage = deck.links[0].page;
            for (let page = 1; page < linkPage; ++page) {
                await movie.click(...forward);
                shot = await settledCapture(movie, { area: AREA, previous: shot });
            }
            // The player opens a web address in a window of its own (or this one).
            await movie.page.evaluate(() => {
                window.openedUrls = [];
                window.open = (url) => { window.openedUrls.push(String(url)); return null; };
            });
            const uri = deck.links.find((l) => l.uri);
            await movie.click(...centre(uri));
            const deadline = Date.now() + 5000;
            let opened = [];
            while (Date.now() < deadline) {
                opened = [...requested, ...await movie.page.evaluate(() => window.openedUrls ?? [])];
                if (opened.length) break;
                await pause(100);
            }
            assert.ok(opened.some((url) => url.startsWith(uri.uri)), `clicking the link opened ${JSON.stringify(opened)}, not ${uri.uri}`);

            const toPage = deck.links.find((l) => l.target);
            await movie.click(...centre(toPage));
            const shown = await settledCapture(movie, { area: AREA, previous: shot });
            const likeness = references.map((r) => blockPsnr(shown, r));
            const nearest = likeness.indexOf(Math.max(...likeness)) + 1;
            assert.equal(nearest, toPage.target, `the page link showed page ${nearest} (PSNR ${likeness.map((p) => p.toFixed(1)).join(", ")})`);
        } finally {
            await context.unroute(site);
            await movie.close();
        }
    });
});
