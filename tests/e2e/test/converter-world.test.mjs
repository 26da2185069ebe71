// Decks other tools made, played as a user plays them: a Beamer talk (pdfTeX:
// shaded blocks with shadows, transparent overlays, TikZ fadings, a listing in
// Courier that is not embedded, links with borders), an Impress deck
// (LibreOffice from a flat-XML source: its six gradient styles, a shadow,
// transparency, hatching, a hairline grid) and matplotlib's figures (Type 3
// text, translucent points, a picture). Each is converted at --size 1920x1080,
// as vectors and with --raster, and every page played in Ruffle is held to
// pdftoppm's picture of it (see lib/imagecompare.mjs for the measures).
//
// A deck whose tool is missing is skipped with a line saying which; .ci/run
// installs them all. CORVANEX_KEEP=1 keeps the pictures in the scratch folder.

import assert from "node:assert/strict";
import { spawnSync } from "node:child_process";
import { copyFileSync, existsSync, readFileSync, writeFileSync } from "node:fs";
import { join } from "node:path";
import { describe, it } from "node:test";
import { ASSETS, CONVERTER, REPO, scratchDir } from "../lib/deck.mjs";
import { blockPsnr, edgeContrast, median, rasterisePage } from "../lib/imagecompare.mjs";
import { sharedPlayer } from "../lib/player.mjs";
import { encodePng } from "../lib/png.mjs";
import { showPictures } from "../lib/settled.mjs";

const SOURCES = join(REPO, "tests/e2e/decks");
const AREA = { x: 0, y: 0, width: 1920, height: 1080 };
const MEASURED = { preferredRenderer: "webgl" };
const MIN_PSNR = 27; // dB, every page
const MIN_EDGES = 0.75; // every page
const MIN_MEDIAN_EDGES = 0.9;

const has = (command, args = ["--version"]) => spawnSync(command, args, { stdio: "ignore" }).status === 0;
const help = existsSync(CONVERTER) ? spawnSync(CONVERTER, ["--help"], { encoding: "utf8" }).stdout : "";
const vectorForm = help.includes("--raster");

// Each deck: what it needs, and how its PDF is made in `dir`.
const DECKS = [
    {
        name: "beamer",
        needs: () => (has("pdflatex") && has("kpsewhich", ["beamer.cls"]) ? false : "no pdflatex with Beamer (texlive-latex-recommended)"),
        make(dir) {
            copyFileSync(join(SOURCES, "beamer.tex"), join(dir, "beamer.tex"));
            // Twice, for the link to the last page.
            for (let pass = 0; pass < 2; ++pass) {
                const run = spawnSync("pdflatex", ["-interaction=nonstopmode", "-halt-on-error", "beamer.tex"],
                    { cwd: dir, encoding: "utf8", timeout: 180000 });
                assert.equal(run.status, 0, `pdflatex failed: ${run.stdout.slice(-2000)}`);
            }
            return join(dir, "beamer.pdf");
        },
    },
    {
        name: "impress",
        needs: () => (has("soffice") ? false : "no LibreOffice (libreoffice-impress)"),
        make(dir) {
            copyFileSync(join(SOURCES, "impress.fodp"), join(dir, "impress.fodp"));
            const run = spawnSync("soffice", [`-env:UserInstallation=file://${join(dir, "profile")}`, "--headless",
                "--convert-to", "pdf", "--outdir", dir, join(dir, "impress.fodp")], { cwd: dir, encoding: "utf8", timeout: 180000 });
            assert.equal(run.status, 0, `soffice failed: ${run.stderr}`);
            return join(dir, "impress.pdf");
        },
    },
    {
        name: "figures",
        needs: () => (has("/usr/bin/python3", ["-c", "import matplotlib"]) ? false : "no matplotlib (python3-matplotlib)"),
        make(dir) {
            const pdf = join(dir, "figures.pdf");
            const run = spawnSync("/usr/bin/python3", [join(SOURCES, "figures.py"), pdf], { encoding: "utf8", timeout: 180000 });
            assert.equal(run.status, 0, `matplotlib failed: ${run.stderr}`);
            return pdf;
        },
    },
];

function pageCount(pdf) {
    const info = spawnSync("pdfinfo", [pdf], { encoding: "utf8" }).stdout;
    return Number(/^Pages:\s+(\d+)/m.exec(info)[1]);
}

function convert(dir, pdf, name, args) {
    const out = join(dir, name);
    const run = spawnSync(CONVERTER, ["--keys", "--size", `${AREA.width}x${AREA.height}`, "--forward", join(ASSETS, "forward.jpg"),
        "--backward", join(ASSETS, "backward.jpg"), ...args, pdf, out], { cwd: dir, encoding: "utf8", timeout: 300000 });
    assert.equal(run.status, 0, `the converter failed on ${pdf}: ${run.stderr}`);
    return { bytes: readFileSync(out), said: run.stderr };
}


const figure = (value, digits) => (Number.isFinite(value) ? value.toFixed(digits) : String(value)).padStart(6);

describe("decks other tools made, against a PDF rasteriser", { skip: vectorForm ? false : "the converter draws no vector pages", timeout: 1800000 }, () => {
    const { server, browser } = sharedPlayer();
    for (const deck of DECKS) {
        const needs = deck.needs();
        for (const form of [{ name: "vector", args: [] }, { name: "raster", args: ["--raster"] }]) {
            it(`holds every page of the ${deck.name} deck (${form.name}) to ${MIN_PSNR} dB and edge contrast ${MIN_EDGES}, median ${MIN_MEDIAN_EDGES}`,
                { skip: needs }, async (t) => {
                    const dir = scratchDir(`world-${deck.name}`);
                    const pdf = existsSync(join(dir, `${deck.name}.pdf`)) ? join(dir, `${deck.name}.pdf`) : deck.make(dir);
                    const count = pageCount(pdf);
                    const references = Array.from({ length: count }, (_, i) => rasterisePage(pdf, i + 1, AREA));
                    const { bytes, said } = convert(dir, pdf, `${deck.name}-${form.name}.swf`, form.args);
                    const shots = await showPictures(browser(), server(), bytes, count, { area: AREA, config: MEASURED });
                    if (process.env.CORVANEX_KEEP) {
                        const keep = (name, s) => writeFileSync(join(dir, name), encodePng(s.width, s.height, s.pixels, { alpha: false }));
                        shots.forEach((s, i) => keep(`${form.name}-${i + 1}.png`, s));
                        references.forEach((s, i) => keep(`reference-${i + 1}.png`, s));
                    }
                    const results = shots.map((shot, i) => ({ page: i + 1, psnr: blockPsnr(shot, references[i]), edges: edgeContrast(shot, references[i]) }));
                    t.diagnostic(`${deck.name}, ${form.name}: ${bytes.length} bytes, pictures in ${dir}`);
                    for (const line of said.split("\n").filter((l) => l.includes("page"))) t.diagnostic(`converter: ${line}`);
                    for (const r of results) t.diagnostic(`page ${String(r.page).padStart(2)}  PSNR ${figure(r.psnr, 1)} dB  edges ${figure(r.edges, 2)}`);
                    const edges = median(results.map((r) => r.edges));
                    t.diagnostic(`median edge contrast ${edges.toFixed(2)}`);
                    const poor = results.filter((r) => !(r.psnr >= MIN_PSNR && r.edges >= MIN_EDGES));
                    assert.deepEqual(poor.map((r) => `page ${r.page}: ${r.psnr.toFixed(1)} dB, edges ${r.edges.toFixed(2)}`), [],
                        `pages under ${MIN_PSNR} dB or edge contrast ${MIN_EDGES}`);
                    assert.ok(edges >= MIN_MEDIAN_EDGES, `median edge contrast ${edges.toFixed(2)} under ${MIN_MEDIAN_EDGES}`);
                });
        }
    }
});
