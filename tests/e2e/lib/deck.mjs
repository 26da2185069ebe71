// Decks of flat-colour slides and runs of the converter on them.

import { spawnSync } from "node:child_process";
import { existsSync, mkdirSync, mkdtempSync, readFileSync, rmSync, writeFileSync } from "node:fs";
import { tmpdir } from "node:os";
import { dirname, isAbsolute, join, resolve } from "node:path";
import { fileURLToPath } from "node:url";
import { writeFlatJpeg } from "./media.mjs";

export const REPO = resolve(dirname(fileURLToPath(import.meta.url)), "../../..");
export const CONVERTER = resolve(REPO, process.env.CORVANEX_BIN || "build/dev/corvanex");
export const ASSETS = join(REPO, "assets");

// Slide colours far from each other, from the background 0xCDCDCD, from the
// white of the button hit areas and from the red of the closing notice.
export const SLIDE_COLORS = [
    [0x1f, 0x4e, 0xb4], [0x2c, 0xa0, 0x2c], [0xff, 0xa0, 0x0e], [0x6a, 0x2b, 0x9d],
    [0x10, 0xc8, 0xd8], [0x5c, 0x3a, 0x1b], [0x00, 0x50, 0x30], [0xc0, 0xd0, 0x20],
];
export const BACKGROUND = [0xcd, 0xcd, 0xcd];

// Scratch folders go when the test process ends (set CORVANEX_KEEP=1 to keep them).
const scratch = [];
process.on("exit", () => {
    if (!process.env.CORVANEX_KEEP) for (const dir of scratch) rmSync(dir, { recursive: true, force: true });
});

export function scratchDir(name) {
    const dir = mkdtempSync(join(tmpdir(), `corvanex-${name}-`));
    scratch.push(dir);
    return dir;
}

// Writes <prefix>1.jpg ... <prefix><count>.jpg in flat colours, <prefix>.stp
// and a config.txt with the slide size into `dir`.
export function makeDeck(dir, { prefix = "deck", count, width, height, stops = "0\n2\n", colors = SLIDE_COLORS }) {
    mkdirSync(dir, { recursive: true });
    const slides = [];
    for (let n = 1; n <= count; ++n) {
        const file = join(dir, `${prefix}${n}.jpg`);
        const color = colors[(n - 1) % colors.length];
        writeFlatJpeg(file, color, width, height);
        slides.push({ file, color, bytes: readFileSync(file) });
    }
    writeFileSync(join(dir, `${prefix}.stp`), stops);
    const config = join(dir, "config.txt");
    writeFileSync(config, `${width}\n${height}\n`);
    return { dir, prefix, count, width, height, stops, slides, config };
}

// Runs the converter on a deck with the default button images and any further
// `options` (such as --keys); returns its exit status, output and the movie's
// bytes (undefined when none was written).
export function convert(deck, out = join(deck.dir, `${deck.prefix}.swf`), options = []) {
    if (!existsSync(CONVERTER)) {
        throw new Error(`no converter at ${CONVERTER}: build it (cmake --preset dev && cmake --build --preset dev) or set CORVANEX_BIN`);
    }
    rmSync(out, { force: true });
    const args = ["--config", deck.config, "--forward", join(ASSETS, "forward.jpg"), "--backward", join(ASSETS, "backward.jpg"),
        ...options, deck.prefix, String(deck.count), isAbsolute(out) ? out : join(deck.dir, out)];
    const run = spawnSync(CONVERTER, args, { cwd: deck.dir, encoding: "utf8", timeout: 60000 });
    if (run.error) throw run.error;
    return {
        status: run.status,
        stdout: run.stdout,
        stderr: run.stderr,
        file: out,
        bytes: existsSync(out) ? readFileSync(out) : undefined,
    };
}

// Button geometry in movie pixels: the centres of the forward and backward
// buttons, 10 pixels either side of the centre line in the band below the slide.
export function buttonCenters({ width, height }) {
    const middle = Math.trunc((width * 20) / 2) / 20;
    return {
        forward: [middle + 25, height + 20],
        backward: [middle - 25, height + 20],
    };
}
