// Pictures of what the player shows compared with a PDF rasteriser's
// pictures of the same pages. Two rasterisers never agree pixel for pixel
// (anti-aliasing, hinting, where an edge falls within a pixel), so both
// measures forgive a pixel's worth of difference and no more:
//
// - block PSNR: both pictures averaged over blocks of 4 x 4 pixels (the
//   mean colour of each block), then the PSNR of the red, green and blue
//   levels of all blocks together, 10 log10(255² / mean squared difference)
//   in dB. A shape a pixel off or edged differently changes a block's mean a
//   little; a wrong colour, a missing or misplaced shape changes it a lot.
// - edge contrast: an edge's strength is the steepest step between
//   neighbouring pixels' luminance within a pixel of it (the magnitude of
//   the steps to the right and downwards). Summed over the pixels where the
//   reference steps by at least a quarter of black to white, the candidate's
//   strength over the reference's. 1.0: edges as sharp as the reference's
//   (a picture a pixel off keeps 0.99); a picture scaled up from two thirds
//   of the pixels spreads each step over more of them and keeps about 0.6.

import { execFileSync } from "node:child_process";
import { mkdtempSync, readFileSync, rmSync } from "node:fs";
import { tmpdir } from "node:os";
import { join } from "node:path";
import { decodePng } from "./png.mjs";

export const PDFTOPPM = process.env.PDFTOPPM_BIN || "pdftoppm";
export const BLOCK = 4;

// Page `page` (from 1) of a PDF as pdftoppm draws it, exactly `width` x
// `height` pixels: { width, height, pixels (RGBA) }.
export function rasterisePage(pdf, page, { width, height }) {
    const dir = mkdtempSync(join(tmpdir(), "corvanex-pdftoppm-"));
    try {
        execFileSync(PDFTOPPM, ["-png", "-f", String(page), "-l", String(page), "-scale-to-x", String(width),
            "-scale-to-y", String(height), "-singlefile", pdf, join(dir, "page")]);
        return decodePng(readFileSync(join(dir, "page.png")));
    } finally {
        rmSync(dir, { recursive: true, force: true });
    }
}

function assertSameSize(a, b) {
    if (a.width !== b.width || a.height !== b.height) {
        throw new Error(`pictures of ${a.width} x ${a.height} and ${b.width} x ${b.height} pixels cannot be compared`);
    }
}

// The mean red, green and blue of each block (partial blocks at the right
// and bottom edges left out).
function blockMeans({ width, height, pixels }, block) {
    const columns = Math.floor(width / block), rows = Math.floor(height / block);
    const means = new Float64Array(columns * rows * 3);
    for (let y = 0; y < rows * block; ++y) {
        const row = Math.floor(y / block) * columns;
        for (let x = 0; x < columns * block; ++x) {
            const from = (y * width + x) * 4, to = (row + Math.floor(x / block)) * 3;
            means[to] += pixels[from];
            means[to + 1] += pixels[from + 1];
            means[to + 2] += pixels[from + 2];
        }
    }
    for (let i = 0; i < means.length; ++i) means[i] /= block * block;
    return means;
}

// Block PSNR in dB (Infinity for equal block means), as above.
export function blockPsnr(candidate, reference, block = BLOCK) {
    assertSameSize(candidate, reference);
    const a = blockMeans(candidate, block), b = blockMeans(reference, block);
    let sum = 0;
    for (let i = 0; i < a.length; ++i) sum += (a[i] - b[i]) ** 2;
    const mse = sum / a.length;
    return mse === 0 ? Infinity : 10 * Math.log10((255 * 255) / mse);
}

function luminance({ width, height, pixels }) {
    const y = new Float32Array(width * height);
    for (let i = 0; i < y.length; ++i) y[i] = 0.299 * pixels[i * 4] + 0.587 * pixels[i * 4 + 1] + 0.114 * pixels[i * 4 + 2];
    return y;
}

// Each pixel's step to its right and lower neighbours, as one magnitude (0
// on the last column and row).
function steps(picture) {
    const { width, height } = picture;
    const l = luminance(picture);
    const magnitude = new Float32Array(width * height);
    for (let y = 0; y < height - 1; ++y) {
        for (let x = 0; x < width - 1; ++x) {
            const i = y * width + x;
            magnitude[i] = Math.hypot(l[i + 1] - l[i], l[i + width] - l[i]);
        }
    }
    return magnitude;
}

// A quarter of a black to white step.
export const STRONG_EDGE = 64;

// Edge contrast, as above; NaN when the reference has no strong edge.
export function edgeContrast(candidate, reference) {
    assertSameSize(candidate, reference);
    const { width, height } = reference;
    const ours = steps(candidate), theirs = steps(reference);
    const strongest = (magnitude, i) => {
        let most = 0;
        for (let dy = -width; dy <= width; dy += width) {
            for (let dx = -1; dx <= 1; ++dx) most = Math.max(most, magnitude[i + dy + dx]);
        }
        return most;
    };
    let kept = 0, wanted = 0;
    for (let y = 1; y < height - 1; ++y) {
        for (let x = 1; x < width - 1; ++x) {
            const i = y * width + x;
            if (theirs[i] < STRONG_EDGE) continue;
            kept += strongest(ours, i);
            wanted += strongest(theirs, i);
        }
    }
    return wanted === 0 ? NaN : kept / wanted;
}

// A rectangle of a picture, as a picture of its own.
function crop({ width, pixels }, { x, y, w, h }) {
    const out = Buffer.alloc(w * h * 4);
    for (let row = 0; row < h; ++row) pixels.copy(out, row * w * 4, ((y + row) * width + x) * 4, ((y + row) * width + x + w) * 4);
    return { width: w, height: h, pixels: out };
}

// Where the candidate lies against the reference, to the pixel: the shift
// (dx, dy), each within `reach`, that gives the best block PSNR over the
// area both cover when the candidate's pixel (x + dx, y + dy) is laid on the
// reference's (x, y); { dx, dy, psnr }. Tells a misplaced page from a
// misdrawn one.
export function bestOffset(candidate, reference, reach = 1) {
    assertSameSize(candidate, reference);
    const w = reference.width - 2 * reach, h = reference.height - 2 * reach;
    const theirs = crop(reference, { x: reach, y: reach, w, h });
    let best = { dx: 0, dy: 0, psnr: -Infinity };
    for (let dy = -reach; dy <= reach; ++dy) {
        for (let dx = -reach; dx <= reach; ++dx) {
            const psnr = blockPsnr(crop(candidate, { x: reach + dx, y: reach + dy, w, h }), theirs);
            if (psnr > best.psnr) best = { dx, dy, psnr };
        }
    }
    return best;
}

export function median(values) {
    const sorted = [...values].sort((a, b) => a - b);
    const middle = sorted.length >> 1;
    return sorted.length % 2 ? sorted[middle] : (sorted[middle - 1] + sorted[middle]) / 2;
}

// Whether two pictures of the same size hold the same pixels.
export function samePixels(a, b) {
    return a.width === b.width && a.height === b.height && a.pixels.equals(b.pixels);
}
