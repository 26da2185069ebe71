// ffmpeg as an independent reader and as a maker of test images: flat-colour
// JPEG slides, the JPEGs of a movie's DefineBitsJPEG2 tags, the PCM decoded
// from a movie's DefineSound.

import { execFileSync } from "node:child_process";
import { mkdtempSync, readdirSync, readFileSync, rmSync } from "node:fs";
import { tmpdir } from "node:os";
import { join } from "node:path";

export const FFMPEG = process.env.FFMPEG_BIN || "ffmpeg";

function ffmpeg(args) {
    return execFileSync(FFMPEG, ["-v", "error", "-nostdin", "-y", ...args], { stdio: ["ignore", "pipe", "pipe"] });
}

// A baseline JPEG of one flat colour [r, g, b].
export function writeFlatJpeg(file, [r, g, b], width, height) {
    const hex = "0x" + [r, g, b].map((v) => v.toString(16).padStart(2, "0")).join("");
    ffmpeg(["-f", "lavfi", "-i", `color=c=${hex}:s=${width}x${height}`, "-frames:v", "1", "-q:v", "2", file]);
}

// The JPEG file inside the data of a DefineBitsJPEG2 as the library frames
// it: an empty encoding-table section (FF D9 FF D8) before the file, which
// the format admits and readers skip, and one more end-of-image marker
// (FF D9) after it, which readers (ffmpeg among them) hand out with the image.
export function unframeJpeg(data) {
    let jpeg = Buffer.from(data);
    if (jpeg.length >= 6 && jpeg.readUInt32BE(0) === 0xffd9ffd8 && jpeg[4] === 0xff && jpeg[5] === 0xd8) jpeg = jpeg.subarray(4);
    if (jpeg.length >= 4 && jpeg.readUInt32BE(jpeg.length - 4) === 0xffd9ffd9) jpeg = jpeg.subarray(0, jpeg.length - 2);
    return jpeg;
}

// The JPEG data of every DefineBitsJPEG2 of the movie, in file order, as
// ffmpeg's SWF demuxer hands them out without decoding.
export function extractJpegs(swfFile) {
    const dir = mkdtempSync(join(tmpdir(), "corvanex-jpegs-"));
    try {
        ffmpeg(["-i", swfFile, "-map", "0:v", "-c:v", "copy", "-f", "image2", join(dir, "%d.jpg")]);
        return readdirSync(dir)
            .map((name) => Number.parseInt(name, 10))
            .sort((a, b) => a - b)
            .map((n) => readFileSync(join(dir, `${n}.jpg`)));
    } finally {
        rmSync(dir, { recursive: true, force: true });
    }
}

// The movie's event sound decoded by ffmpeg to signed 16-bit samples
// (channels interleaved), at the sound's own rate.
export function decodeSound(swfFile) {
    const out = ffmpeg(["-i", swfFile, "-map", "0:a:0", "-f", "s16le", "-acodec", "pcm_s16le", "-"]);
    return new Int16Array(out.buffer, out.byteOffset, out.length >> 1);
}

// Signal-to-noise ratio in decibels of `decoded` against `reference` over
// the reference's length (a decoder may pad the last block).
export function signalToNoise(reference, decoded) {
    let signal = 0, noise = 0;
    for (let i = 0; i < reference.length; ++i) {
        const d = (decoded[i] ?? 0) - reference[i];
        signal += reference[i] * reference[i];
        noise += d * d;
    }
    return noise === 0 ? Infinity : 10 * Math.log10(signal / noise);
}
