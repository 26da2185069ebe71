// ffmpeg as an independent reader and as a maker of test images: flat-colour
// JPEG slides, the JPEGs of a movie's DefineBitsJPEG2 tags, the PCM decoded
// from a movie's DefineSound.

import { execFileSync } from "node:child_process";
import { mkdtempSync, readdirSync, readFileSync, rmSync, writeFileSync } from "node:fs";
import { tmpdir } from "node:os";
import { join } from "node:path";

export const FFMPEG = process.env.FFMPEG_BIN || "ffmpeg";
export const FFPROBE = process.env.FFPROBE_BIN || "ffprobe";

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

// The movie's streams as ffmpeg's SWF demuxer makes them: [{ index, type,
// codec }], in the order their first tags come. JPEG tags give one "mjpeg"
// stream, lossless bitmaps a "rawvideo" one, every sound tag an "adpcm_swf" one.
export function streams(swfFile) {
    const out = execFileSync(FFPROBE, ["-v", "error", "-show_entries", "stream=index,codec_type,codec_name", "-of", "csv=p=0", swfFile],
        { encoding: "utf8", stdio: ["ignore", "pipe", "pipe"] });
    return out.trim().split("\n").filter(Boolean).map((line) => {
        const [index, codec, type] = line.split(",");
        return { index: Number(index), codec, type };
    });
}

// The JPEG data of every DefineBitsJPEG2 of the movie, in file order, as
// ffmpeg's SWF demuxer hands them out without decoding. `map` picks the
// stream when the movie has other pictures (lossless bitmaps) too.
export function extractJpegs(swfFile, { map = "0:v" } = {}) {
    const dir = mkdtempSync(join(tmpdir(), "corvanex-jpegs-"));
    try {
        ffmpeg(["-i", swfFile, "-map", map, "-c:v", "copy", "-f", "image2", join(dir, "%d.jpg")]);
        return readdirSync(dir)
            .map((name) => Number.parseInt(name, 10))
            .sort((a, b) => a - b)
            .map((n) => readFileSync(join(dir, `${n}.jpg`)));
    } finally {
        rmSync(dir, { recursive: true, force: true });
    }
}

// The first picture of a stream of lossless bitmaps decoded by ffmpeg to
// RGBA bytes (ffmpeg's demuxer keeps the pixel format of the stream's first
// bitmap and drops later ones of another format).
export function decodeBitmap(swfFile, map) {
    return ffmpeg(["-i", swfFile, "-map", map, "-frames:v", "1", "-f", "rawvideo", "-pix_fmt", "rgba", "-"]);
}

// The movie's event sound decoded by ffmpeg to signed 16-bit samples
// (channels interleaved), at the sound's own rate. `soundId` picks the
// DefineSound by character ID (the demuxer's stream ID); without it the first
// audio stream is taken, which a SoundStreamHead before the sound would be.
export function decodeSound(swfFile, { soundId } = {}) {
    const map = soundId === undefined ? "0:a:0" : `0:i:${soundId}`;
    const out = ffmpeg(["-i", swfFile, "-map", map, "-f", "s16le", "-acodec", "pcm_s16le", "-"]);
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

// A RIFF WAVE file of 16-bit mono PCM.
export function writeWav(file, samples, rate) {
    const data = Buffer.from(Int16Array.from(samples).buffer);
    const header = Buffer.alloc(44);
    header.write("RIFF", 0, "latin1");
    header.writeUInt32LE(36 + data.length, 4);
    header.write("WAVEfmt ", 8, "latin1");
    header.writeUInt32LE(16, 16); // format chunk size
    header.writeUInt16LE(1, 20); // PCM
    header.writeUInt16LE(1, 22); // mono
    header.writeUInt32LE(rate, 24);
    header.writeUInt32LE(rate * 2, 28); // bytes per second
    header.writeUInt16LE(2, 32); // block align
    header.writeUInt16LE(16, 34); // bits per sample
    header.write("data", 36, "latin1");
    header.writeUInt32LE(data.length, 40);
    writeFileSync(file, Buffer.concat([header, data]));
}
