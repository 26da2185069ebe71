// Plays movies in the web build of Ruffle inside headless Chromium: a small
// HTTP server on 127.0.0.1 serves the player, a page and the movies; the
// browser is driven through playwright-core; colours are sampled from
// screenshots of the player and clicks are given in movie pixels.

import { createServer } from "node:http";
import { after, before } from "node:test";
import { mkdtempSync, readFileSync, rmSync } from "node:fs";
import { tmpdir } from "node:os";
import { dirname, extname, join, normalize } from "node:path";
import { createRequire } from "node:module";
import { chromium } from "playwright-core";
import { decodePng } from "./png.mjs";

const require = createRequire(import.meta.url);
const RUFFLE_DIR = dirname(require.resolve("@ruffle-rs/ruffle/package.json"));

export const CHROMIUM = process.env.CHROMIUM_BIN || "/usr/bin/chromium";
export const CHROMIUM_FLAGS = [
    "--no-sandbox",
    "--disable-gpu",
    "--disable-quic",
    "--no-first-run",
    "--disable-background-networking",
    "--disable-component-update",
    "--disable-sync",
    // Lets the player start its audio without a gesture, for movies with sound.
    "--autoplay-policy=no-user-gesture-required",
];

const MIME = {
    ".js": "text/javascript", ".wasm": "application/wasm", ".map": "application/json",
    ".html": "text/html; charset=utf-8", ".swf": "application/x-shockwave-flash",
};

// The player's configuration. The canvas renderer keeps Ruffle from choosing
// a software graphics adapter, on which it opens a "hardware acceleration"
// dialog at the first mouse-over that swallows every click; the other
// settings take away what would cover the movie.
export const RUFFLE_CONFIG = {
    autoplay: "on",
    unmuteOverlay: "hidden",
    splashScreen: false,
    preferredRenderer: "canvas",
    letterbox: "off",
    contextMenu: "off",
    warnOnUnsupportedContent: false,
    showSwfDownload: false,
    polyfills: false,
    logLevel: "warn",
    publicPath: "/ruffle/",
};

// One page holds the player's script, so that its wasm is compiled once;
// each movie gets a player element of its own, at the top left, 1:1.
const PAGE = `<!doctype html>
<html><head><meta charset="utf-8"><title>movies</title>
<style>html, body { margin: 0; padding: 0; overflow: hidden; background: #000; }
#stage { position: absolute; left: 0; top: 0; }</style>
<script>window.RufflePlayer = { config: ${JSON.stringify(RUFFLE_CONFIG)} };</script>
<script src="/ruffle/ruffle.js"></script>
</head><body><div id="stage"></div>
<script>
window.loadMovie = (url, width, height, config) => {
    window.movieLoaded = false;
    window.movieError = undefined;
    const stage = document.getElementById("stage");
    stage.replaceChildren();
    const player = window.RufflePlayer.newest().createPlayer();
    player.id = "player";
    player.style.width = width + "px";
    player.style.height = height + "px";
    stage.appendChild(player);
    player.ruffle().load({ url, ...config })
        .then(() => { window.movieLoaded = true; })
        .catch((e) => { window.movieError = String(e); });
};
window.unloadMovie = () => document.getElementById("stage").replaceChildren();
</script></body></html>`;

// Serves the player's files, one page per movie and the movies themselves,
// and folders of files (such as the converter's pages), on a free port of 127.0.0.1.
export async function startServer() {
    const movies = new Map();
    const folders = new Map();
    const server = createServer((request, response) => {
        const url = new URL(request.url, "http://127.0.0.1");
        const send = (status, type, body) => {
            // The player's files may be cached, so that Chromium keeps the compiled wasm.
            const cache = /\.(js|wasm)$/.test(url.pathname) ? "max-age=3600" : "no-store";
            response.writeHead(status, { "content-type": type, "cache-control": cache });
            response.end(body);
        };
        if (url.pathname === "/favicon.ico") return send(204, "image/x-icon", "");
        if (url.pathname.startsWith("/ruffle/")) {
            const file = normalize(join(RUFFLE_DIR, url.pathname.slice("/ruffle/".length)));
            if (!file.startsWith(RUFFLE_DIR)) return send(403, "text/plain", "no");
            try {
                return send(200, MIME[extname(file)] ?? "application/octet-stream", readFileSync(file));
            } catch {
                return send(404, "text/plain", "not found");
            }
        }
        if (url.pathname === "/") return send(200, "text/html", PAGE);
        const inFolder = url.pathname.match(/^\/files\/(\d+)\/(.*)$/);
        if (inFolder && folders.has(inFolder[1])) {
            const root = folders.get(inFolder[1]);
            const file = normalize(join(root, decodeURIComponent(inFolder[2])));
            if (!file.startsWith(root + "/")) return send(403, "text/plain", "no");
            try {
                return send(200, MIME[extname(file)] ?? "application/octet-stream", readFileSync(file));
            } catch {
                return send(404, "text/plain", "not found");
            }
        }
        const movie = movies.get(url.pathname.replace(/^\/movie\//, ""));
        if (!movie) return send(404, "text/plain", "not found");
        send(200, "application/x-shockwave-flash", movie);
    });
    await new Promise((resolve) => server.listen(0, "127.0.0.1", resolve));
    const origin = `http://127.0.0.1:${server.address().port}`;
    let count = 0;
    return {
        origin,
        // Registers a movie; returns its URL.
        add(bytes) {
            const name = `m${++count}.swf`;
            movies.set(name, bytes);
            return `${origin}/movie/${name}`;
        },
        // Serves a folder's files (following links in it); returns its URL, ending in "/".
        addFolder(dir) {
            const key = String(folders.size + 1);
            folders.set(key, normalize(dir));
            return `${origin}/files/${key}/`;
        },
        close: () => new Promise((resolve) => server.close(resolve)),
    };
}

// Headless Chromium with an empty profile of its own.
export async function launchBrowser() {
    const profile = mkdtempSync(join(tmpdir(), "corvanex-chromium-"));
    const context = await chromium.launchPersistentContext(profile, {
        executablePath: CHROMIUM,
        headless: true,
        args: CHROMIUM_FLAGS,
        viewport: { width: 800, height: 600 },
        deviceScaleFactor: 1,
    });
    return {
        context,
        async close() {
            await context.close();
            rmSync(profile, { recursive: true, force: true });
        },
    };
}

// Movie size in pixels from the header's frame rectangle (twips).
export function movieSize(bytes) {
    const nbits = bytes[8] >>> 3;
    let bit = 5; // past the 5-bit field count
    const read = () => {
        let value = 0;
        for (let i = 0; i < nbits; ++i, ++bit) value = value * 2 + ((bytes[8 + (bit >>> 3)] >>> (7 - (bit & 7))) & 1);
        return value;
    };
    const xMin = read(), xMax = read(), yMin = read(), yMax = read();
    return { width: Math.round((xMax - xMin) / 20), height: Math.round((yMax - yMin) / 20) };
}

export function colorDistance(a, b) {
    return Math.max(Math.abs(a[0] - b[0]), Math.abs(a[1] - b[1]), Math.abs(a[2] - b[2]));
}

export function hexColor([r, g, b]) {
    return "#" + [r, g, b].map((v) => v.toString(16).padStart(2, "0")).join("");
}

// One movie open in a page: a movie pixel is `scale` page pixels, the movie's
// top left `origin` away from the page's (1:1 at the top left unless given).
export class MoviePage {
    constructor(page, width, height, log, { origin = { x: 0, y: 0 }, scale = 1, ownPage = false } = {}) {
        this.page = page;
        this.width = width;
        this.height = height;
        this.log = log;
        this.origin = origin;
        this.scale = scale;
        this.ownPage = ownPage;
    }

    // Opens a page that plays a movie of `width` x `height` pixels by itself
    // (the converter's --html page) in a tab of its own with a window of
    // `viewport` (the browser's default unless given), and finds the player
    // on it: the movie is where the player's box is, scaled to its width.
    static async openPage(browser, url, { width, height, viewport } = {}) {
        const page = await browser.context.newPage();
        const log = [];
        page.on("console", (m) => log.push(`${m.type()}: ${m.text()}`));
        page.on("pageerror", (e) => log.push(`page error: ${e.message}`));
        if (viewport) await page.setViewportSize(viewport);
        await page.goto(url);
        const player = page.locator("ruffle-player");
        await player.waitFor({ timeout: 20000 });
        const box = await player.boundingBox();
        return new MoviePage(page, width, height, log,
            { origin: { x: box.x, y: box.y }, scale: box.width / width, ownPage: true });
    }

    // A movie pixel's place on the page.
    pagePoint([x, y]) {
        return [Math.round(x * this.scale + this.origin.x), Math.round(y * this.scale + this.origin.y)];
    }

    // Loads a movie into the browser's player page (made at the first call);
    // `config` adds to or overrides the player's configuration for this movie.
    // With `width`, the player is that many pixels wide and the movie scaled
    // to fit it, its aspect kept; the size, points and rectangles of the
    // MoviePage are then in the player's pixels.
    static async open(browser, server, bytes, { config = {}, width: shownWidth } = {}) {
        const size = movieSize(bytes);
        const scale = shownWidth ? shownWidth / size.width : 1;
        const width = Math.round(size.width * scale), height = Math.round(size.height * scale);
        if (!browser.page) {
            const page = await browser.context.newPage();
            browser.log = [];
            page.on("console", (m) => browser.log.push(`${m.type()}: ${m.text()}`));
            page.on("pageerror", (e) => browser.log.push(`page error: ${e.message}`));
            await page.goto(server.origin + "/");
            await page.waitForFunction(() => window.RufflePlayer?.newest && window.loadMovie, null, { timeout: 20000 });
            browser.page = page;
        }
        const page = browser.page;
        browser.log.length = 0;
        await page.setViewportSize({ width, height });
        await page.evaluate(([url, w, h, c]) => window.loadMovie(url, w, h, c), [server.add(bytes), width, height, config]);
        await page.waitForFunction(() => window.movieLoaded || window.movieError, null, { timeout: 30000 });
        const error = await page.evaluate(() => window.movieError);
        if (error) throw new Error(`the player did not load the movie: ${error}\n${browser.log.join("\n")}`);
        return new MoviePage(page, width, height, browser.log);
    }

    // Colours [r, g, b] at movie pixels, from one screenshot of the area they span.
    async sample(points) {
        const onPage = points.map((q) => this.pagePoint(q));
        const xs = onPage.map((q) => q[0]), ys = onPage.map((q) => q[1]);
        const clip = { x: Math.min(...xs), y: Math.min(...ys) };
        clip.width = Math.max(...xs) - clip.x + 1;
        clip.height = Math.max(...ys) - clip.y + 1;
        const shot = decodePng(await this.page.screenshot({ clip, type: "png", animations: "allow", caret: "initial" }));
        return points.map((_, i) => {
            const at = ((ys[i] - clip.y) * shot.width + (xs[i] - clip.x)) * 4;
            return [shot.pixels[at], shot.pixels[at + 1], shot.pixels[at + 2]];
        });
    }

    // The pixels of a rectangle of the movie: { width, height, pixels (RGBA) }.
    async capture({ x, y, width, height }) {
        const [left, top] = this.pagePoint([x, y]);
        const clip = { x: left, y: top, width: Math.round(width * this.scale), height: Math.round(height * this.scale) };
        return decodePng(await this.page.screenshot({ clip, type: "png" }));
    }

    // How many pixels of a rectangle of the movie satisfy `test` ([r, g, b]).
    async countPixels(rect, test) {
        const { pixels } = await this.capture(rect);
        let count = 0;
        for (let i = 0; i < pixels.length; i += 4) if (test([pixels[i], pixels[i + 1], pixels[i + 2]])) ++count;
        return count;
    }

    // Waits until every point shows its colour (within `tolerance` per
    // channel): the player shows nothing for a moment after loading, and
    // frames before a stop point pass by. Returns the last colours sampled.
    async waitForColors(expected, { tolerance = 12, timeout = 10000 } = {}) {
        const points = expected.map((e) => e.at);
        const deadline = Date.now() + timeout;
        let colors;
        for (;;) {
            colors = await this.sample(points);
            if (colors.every((c, i) => colorDistance(c, expected[i].color) <= tolerance)) return colors;
            if (Date.now() > deadline) {
                const seen = expected.map((e, i) => `(${e.at}) ${hexColor(colors[i])} not ${hexColor(e.color)}`);
                throw new Error(`colours not shown within ${timeout} ms: ${seen.join("; ")}\n${this.log.join("\n")}`);
            }
            await new Promise((resolve) => setTimeout(resolve, 50));
        }
    }

    // Moves over a point of the movie and clicks there, as a person would.
    async click(x, y) {
        await this.page.mouse.move(...this.pagePoint([x, y]), { steps: 2 });
        await this.page.mouse.down();
        await this.page.mouse.up();
    }

    // Whether Ruffle shows a dialog over the movie (it would take the clicks).
    async openDialogs() {
        return this.page.evaluate(() => {
            const root = document.querySelector("ruffle-player")?.shadowRoot;
            if (!root) return [];
            return [...root.querySelectorAll(".modal")].filter((m) => !m.classList.contains("hidden")).map((m) => m.id);
        });
    }

    // Presses a key (a name such as "ArrowRight") where the page's focus is.
    press(key) {
        return this.page.keyboard.press(key);
    }

    // Whether the keyboard's focus is on the player.
    playerHasFocus() {
        return this.page.evaluate(() => document.activeElement?.tagName.toLowerCase() === "ruffle-player");
    }

    // Takes the movie's player off the page, or closes the movie's own page.
    close() {
        return this.ownPage ? this.page.close() : this.page.evaluate(() => window.unloadMovie());
    }
}

// A web server and a browser shared by the tests of one suite: started before
// them, closed after. Each is read through its getter once the suite runs.
export function sharedPlayer() {
    let server, browser;
    before(async () => {
        server = await startServer();
        browser = await launchBrowser();
    });
    after(async () => {
        await browser?.close();
        await server?.close();
    });
    return { server: () => server, browser: () => browser };
}
