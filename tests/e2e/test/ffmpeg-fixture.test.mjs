// Proves the ffmpeg checks on hand-made movies, independent of the library:
// JPEGs come out of DefineBitsJPEG2 byte for byte, and a DefineSound's ADPCM
// decodes back to the samples it was made from.

import assert from "node:assert/strict";
import { execFileSync } from "node:child_process";
import { readFileSync, writeFileSync } from "node:fs";
import { join } from "node:path";
import { describe, it } from "node:test";
import { scratchDir } from "../lib/deck.mjs";
import { decodeSound, extractJpegs, FFMPEG, signalToNoise, unframeJpeg, writeFlatJpeg } from "../lib/media.mjs";
import { assertClean, checkSwf } from "../lib/swf-check.mjs";
import * as w from "../lib/swf-writer.mjs";

describe("ffmpeg on hand-made movies", () => {
    it("hands out each DefineBitsJPEG2's JPEG unchanged, in file order", () => {
        const dir = scratchDir("jpegs");
        const jpegs = [[200, 30, 30, 64, 48], [30, 200, 30, 30, 30], [30, 30, 200, 64, 48]].map(([r, g, b, width, height], i) => {
            const file = join(dir, `${i}.jpg`);
            writeFlatJpeg(file, [r, g, b], width, height);
            return readFileSync(file);
        });
        const file = join(dir, "movie.swf");
        const bytes = w.movie({
            width: 1280, height: 960, frames: [
                [w.defineBitsJpeg2(1, jpegs[0]), w.defineBitsJpeg2(2, jpegs[1])],
                [w.defineBitsJpeg2(3, jpegs[2])],
            ],
        });
        assertClean(checkSwf(bytes));
        writeFileSync(file, bytes);
        const extracted = extractJpegs(file);
        assert.equal(extracted.length, 3);
        extracted.forEach((jpeg, i) => assert.ok(jpeg.equals(jpegs[i]), `JPEG ${i + 1} differs`));
    });

    it("hands out a JPEG framed by FF D9 FF D8 before and FF D9 after with the last marker only", () => {
        const dir = scratchDir("framed");
        const file = join(dir, "slide.jpg");
        writeFlatJpeg(file, [10, 20, 30], 32, 32);
        const jpeg = readFileSync(file);
        const framed = Buffer.concat([Buffer.from([0xff, 0xd9, 0xff, 0xd8]), jpeg, Buffer.from([0xff, 0xd9])]);
        const movie = join(dir, "movie.swf");
        writeFileSync(movie, w.movie({ width: 640, height: 640, frames: [[w.defineBitsJpeg2(1, framed)]] }));
        const [extracted] = extractJpegs(movie);
        assert.ok(extracted.equals(Buffer.concat([jpeg, Buffer.from([0xff, 0xd9])])));
        assert.ok(unframeJpeg(extracted).equals(jpeg));
        assert.ok(unframeJpeg(framed).equals(jpeg));
        assert.ok(unframeJpeg(jpeg).equals(jpeg));
    });

    it("decodes a DefineSound's ADPCM to the samples it was encoded from", (t) => {
        const dir = scratchDir("sound");
        // 3000 samples of a 440 Hz tone at 22050 Hz, encoded by ffmpeg's own
        // ADPCM encoder (one block of up to 4096 samples).
        const count = 3000;
        const pcm = new Int16Array(count);
        for (let i = 0; i < count; ++i) pcm[i] = Math.round(12000 * Math.sin((2 * Math.PI * 440 * i) / 22050));
        const raw = join(dir, "tone.raw"), adpcm = join(dir, "tone.adpcm");
        writeFileSync(raw, Buffer.from(pcm.buffer));
        execFileSync(FFMPEG, ["-v", "error", "-y", "-f", "s16le", "-ar", "22050", "-ac", "1", "-i", raw,
            "-map", "0:a", "-c:a", "adpcm_swf", "-f", "data", adpcm]);
        const file = join(dir, "sound.swf");
        const bytes = w.movie({
            width: 200, height: 200, frames: [[
                w.defineSound(1, { format: 1, rateCode: 2, sixteenBit: true, stereo: false, sampleCount: count, data: readFileSync(adpcm) }),
            ]],
        });
        assertClean(checkSwf(bytes));
        writeFileSync(file, bytes);
        const decoded = decodeSound(file);
        assert.ok(decoded.length >= count, `decoded ${decoded.length} samples`);
        const snr = signalToNoise(pcm, decoded);
        t.diagnostic(`signal-to-noise ratio of ffmpeg's ADPCM round trip: ${snr.toFixed(1)} dB`);
        assert.ok(snr > 20, `signal-to-noise ratio ${snr.toFixed(1)} dB`);
    });

    it("measures signal-to-noise: equal signals are infinite, half an amplitude off is 6 dB", () => {
        const a = Int16Array.from([1000, -1000, 1000, -1000]);
        assert.equal(signalToNoise(a, a), Infinity);
        const half = Int16Array.from([500, -500, 500, -500]);
        assert.ok(Math.abs(signalToNoise(a, half) - 6.02) < 0.01);
    });
});
