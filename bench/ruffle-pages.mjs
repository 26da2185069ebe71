// How long the Ruffle web player takes to show each page of a show made with
// --keys, in headless Chromium with its software renderer (the canvas), the
// show 1920 pixels wide: from the key press that steps to a page to the
// first picture of it that the next one matches. Prints a line a page and
// the slowest; the goal is no page slower than 1 s.
//
//   node bench/ruffle-pages.mjs movie.swf page-count
// (tests/e2e/setup installs what it needs.)

import { readFileSync } from "node:fs";
import { samePixels } from "../tests/e2e/lib/imagecompare.mjs";
import { launchBrowser, MoviePage, movieSize, startServer } from "../tests/e2e/lib/player.mjs";

const [file, countText] = process.argv.slice(2);
const count = Number(countText);
if (!file || !(count > 0)) {
    console.error("usage: node bench/ruffle-pages.mjs movie.swf page-count");
    process.exit(2);
}
const WIDTH = 1920;
const bytes = readFileSync(file);
const size = movieSize(bytes);
// The slide area: the movie less the button row under it.
const area = { x: 0, y: 0, width: WIDTH, height: Math.round(((size.height - 40) * WIDTH) / size.width) };

const server = await startServer();
const browser = await launchBrowser();
const times = [];
try {
    const movie = await MoviePage.open(browser, server, bytes, { width: WIDTH, config: { preferredRenderer: "canvas" } });
    await movie.page.focus("#player");
    let previous = await movie.capture(area);
    for (let page = 1; page <= count; ++page) {
        const start = performance.now();
        if (page > 1) await movie.press("ArrowRight");
        let last = null, shown = null;
        for (;;) {
            const shot = await movie.capture(area);
            const elapsed = performance.now() - start;
            if (last && samePixels(shot, last) && (page === 1 || !samePixels(shot, previous))) {
                shown = shot;
                break;
            }
            if (elapsed > 30000) {
                shown = shot;
                break;
            }
            last = shot;
        }
        const ms = performance.now() - start;
        times.push(ms);
        console.log(`page ${String(page).padStart(3)}  ${ms.toFixed(0).padStart(6)} ms`);
        previous = shown;
    }
    await movie.close();
} finally {
    await browser.close();
    await server.close();
}
const slowest = Math.max(...times);
console.log(`slowest page ${times.indexOf(slowest) + 1}: ${slowest.toFixed(0)} ms (goal: under 1000 ms, a picture's capture included)`);
