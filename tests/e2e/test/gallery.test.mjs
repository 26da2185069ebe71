// The gallery example's movie, which holds every object the library writes,
// in the three independent clients: swf-parser reads every tag of it, ffmpeg
// hands out its JPEGs and its lossless bitmap and decodes its sound, and
// Ruffle draws each object where the example puts it and follows its button.

import assert from "node:assert/strict";
import { readFileSync } from "node:fs";
import { join } from "node:path";
import { after, before, describe, it } from "node:test";
import { ASSETS, scratchDir } from "../lib/deck.mjs";
import { at, BUTTON, C, FIELD, isFieldText, MARKER, runGallery, SIZE, stillProbes, testSignal } from "../lib/gallery.mjs";
import { decodeBitmap, decodeSound, extractJpegs, signalToNoise, streams, unframeJpeg, writeFlatJpeg, writeWav } from "../lib/media.mjs";
import { colorDistance, launchBrowser, MoviePage, startServer } from "../lib/player.mjs";
import { pause } from "../lib/show.mjs";
import { assertClean, checkSwf, tagsOf } from "../lib/swf-check.mjs";

const dir = scratchDir("gallery");
const JPEG_COLOR = [0x9a, 0x4a, 0xc8];
const jpegFile = join(dir, "picture.jpg");
writeFlatJpeg(jpegFile, JPEG_COLOR, 48, 32);
const signal = testSignal();
const wavFile = join(dir, "signal.wav");
writeWav(wavFile, signal, 22050);

const run = runGallery(join(dir, "gallery.swf"), { wav: wavFile, jpeg: jpegFile });
if (run.status !== 0 || !run.bytes) throw new Error(`the gallery failed (status ${run.status}): ${run.stderr}`);
const check = checkSwf(run.bytes);

// The lowest signal-to-noise ratio accepted for the 4-bit ADPCM round trip.
const MIN_SNR = 20;

describe("gallery example", () => {
    it("writes its movie and names the inputs it used", () => {
        assert.equal(run.stderr, "");
        assert.match(run.stdout, /gallery: wrote '.*gallery\.swf' \(640 x 600 pixels, 2 frames; JPEG '.*picture\.jpg' 48 x 32; sound .*signal\.wav\)/);
    });

    it("refuses an image that is not a JPEG and a missing WAV file, writing nothing", () => {
        const out = join(dir, "refused.swf");
        const notJpeg = runGallery(out, { jpeg: wavFile });
        assert.equal(notJpeg.status, 1);
        assert.match(notJpeg.stderr, /signal\.wav' is not a JPEG image/);
        assert.equal(notJpeg.bytes, undefined);
        const noWav = runGallery(out, { wav: join(dir, "missing.wav") });
        assert.equal(noWav.status, 1);
        assert.match(noWav.stderr, /cannot open '.*missing\.wav'/);
        assert.equal(noWav.bytes, undefined);
    });
});

describe("gallery in swf-parser", () => {
    it("reads cleanly, without warnings: SWF 4, 640 x 600 pixels, 12 fps, 2 frames", () => {
        assertClean(check);
        assert.equal(check.header.version, 4);
        assert.deepEqual(check.header.frameSize, { xMin: 0, xMax: SIZE.width * 20, yMin: 0, yMax: SIZE.height * 20 });
        assert.equal(check.header.frameRate, 12);
        assert.equal(check.header.frameCount, 2);
    });

    it("holds every kind of tag the library's objects write", () => {
        const codes = new Set(check.tags.map((t) => t.code));
        const expected = {
            9: "SetBackgroundColor", 32: "DefineShape3", 26: "PlaceObject2", 21: "DefineBitsJPEG2", 20: "DefineBitsLossless",
            36: "DefineBitsLossless2", 34: "DefineButton2", 10: "DefineFont", 33: "DefineText2", 37: "DefineEditText",
            18: "SoundStreamHead", 14: "DefineSound", 15: "StartSound", 39: "DefineSprite", 46: "DefineMorphShape", 12: "DoAction",
        };
        const missing = Object.entries(expected).filter(([code]) => !codes.has(Number(code))).map(([, name]) => name);
        assert.deepEqual(missing, []);
        assert.deepEqual(tagsOf(check, 12).map((t) => t.actions), [["Stop"], ["Stop"], ["Stop"]]); // sprite, frame 0, frame 1
    });

    it("has a sprite of three frames under a character ID of its own, placed once", () => {
        const [sprite] = tagsOf(check, 39);
        assert.equal(sprite.parsed.frameCount, 3);
        assert.deepEqual(sprite.tags.map((t) => t.name), [
            "PlaceObject2", "ShowFrame", "PlaceObject2", "ShowFrame", "RemoveObject2", "PlaceObject2", "DoAction", "ShowFrame", "End",
        ]);
        const ids = check.tags.filter((t) => t.id !== undefined).map((t) => t.id);
        assert.equal(ids.filter((id) => id === sprite.id).length, 1);
        assert.equal(check.tags.filter((t) => t.code === 26 && t.parsed.characterId === sprite.id).length, 1);
    });

    it("places the morph shape at ratios 0, 32768 and 65535", () => {
        const [morph] = tagsOf(check, 46);
        const places = check.tags.filter((t) => t.code === 26 && t.parsed.characterId === morph.id);
        assert.deepEqual(places.map((t) => t.parsed.ratio), [0, 32768, 65535]);
    });

    it("gives the button GotoFrame 1 and Stop on a click, the text three glyphs of the font", () => {
        const [button] = tagsOf(check, 34);
        assert.deepEqual(button.actions, ["GotoFrame", "Stop"]);
        assert.equal(button.parsed.actions[0].conditions.overDownToOverUp, true);
        const [font] = tagsOf(check, 10);
        assert.equal(font.parsed.glyphs.length, 3);
        const [text] = tagsOf(check, 33);
        assert.equal(text.parsed.records[0].fontId, font.id);
        assert.deepEqual(text.parsed.records[0].entries.map((e) => e.index), [0, 1, 2]);
    });

    it("holds the WAV file as an ADPCM sound of its rate, size, channels and length", () => {
        const [sound] = tagsOf(check, 14);
        const { format, rateCode, sixteenBit, stereo, sampleCount } = sound.parsed;
        assert.deepEqual({ format, rateCode, sixteenBit, stereo, sampleCount }, { format: 1, rateCode: 2, sixteenBit: true, stereo: false, sampleCount: signal.length });
        assert.equal(tagsOf(check, 15)[0].parsed.soundId, sound.id);
    });

    it("with the default inputs (a chord made in memory, the forward button image) reads cleanly too", (t) => {
        const plain = runGallery(join(dir, "default.swf"));
        assert.equal(plain.status, 0, plain.stderr);
        assert.match(plain.stdout, /JPEG '.*forward\.jpg' 30 x 30; sound made in memory/);
        const result = checkSwf(plain.bytes);
        assertClean(result);
        assert.equal(tagsOf(result, 14)[0].parsed.sampleCount, 11025);
        const decoded = decodeSound(plain.file, { soundId: tagsOf(result, 14)[0].id });
        const peak = decoded.reduce((m, v) => Math.max(m, Math.abs(v)), 0);
        t.diagnostic(`default chord: ${decoded.length} samples decoded, peak ${peak}`);
        assert.ok(decoded.length >= 11025 && peak > 5000, `decoded ${decoded.length} samples, peak ${peak}`);
        const forward = readFileSync(join(ASSETS, "forward.jpg"));
        assert.ok(tagsOf(result, 21).every((tag) => unframeJpeg(tag.parsed.data).equals(forward)));
    });
});

describe("gallery in ffmpeg", () => {
    const list = streams(run.file);
    const jpegStream = list.find((s) => s.codec === "mjpeg");
    const losslessStream = list.find((s) => s.codec === "rawvideo");

    it("hands out both JPEGs (the bitmap and the polygon's fill) equal to the image file", () => {
        assert.ok(jpegStream, `no JPEG stream among ${JSON.stringify(list)}`);
        const jpegs = extractJpegs(run.file, { map: `0:${jpegStream.index}` }).map(unframeJpeg);
        const image = readFileSync(jpegFile);
        assert.equal(jpegs.length, 2);
        jpegs.forEach((jpeg, i) => assert.ok(jpeg.equals(image), `JPEG ${i + 1} differs from the image file`));
    });

    it("decodes the lossless ARGB bitmap to its four quadrants of 4 x 4 pixels", () => {
        assert.ok(losslessStream, `no lossless stream among ${JSON.stringify(list)}`);
        const rgba = decodeBitmap(run.file, `0:${losslessStream.index}`);
        assert.equal(rgba.length, 8 * 8 * 4);
        const pixel = (x, y) => [...rgba.subarray((y * 8 + x) * 4, (y * 8 + x) * 4 + 4)];
        for (let y = 0; y < 8; ++y) {
            for (let x = 0; x < 8; ++x) {
                const expected = [[C.red, C.green], [C.blue, C.yellow]][y >> 2][x >> 2];
                assert.deepEqual(pixel(x, y), [...expected, 255], `pixel (${x}, ${y})`);
            }
        }
    });

    it("decodes the sound to the WAV's samples within the ADPCM error", (t) => {
        const [sound] = tagsOf(check, 14);
        const decoded = decodeSound(run.file, { soundId: sound.id });
        assert.ok(decoded.length >= signal.length, `decoded ${decoded.length} of ${signal.length} samples`);
        const snr = signalToNoise(signal, decoded);
        t.diagnostic(`signal-to-noise ratio of the gallery's sound (4-bit ADPCM) against its WAV file: ${snr.toFixed(1)} dB`);
        assert.ok(snr >= MIN_SNR, `signal-to-noise ratio ${snr.toFixed(1)} dB is below ${MIN_SNR} dB`);
    });
});

describe("gallery in Ruffle", () => {
    let server, browser, movie;
    before(async () => {
        server = await startServer();
        browser = await launchBrowser();
        movie = await MoviePage.open(browser, server, run.bytes);
    });
    after(async () => {
        await movie?.close();
        await browser?.close();
        await server?.close();
    });

    const probes = stillProbes(JPEG_COLOR);
    it("loads at its size", () => {
        assert.deepEqual({ width: movie.width, height: movie.height }, SIZE);
    });

    for (const [object, points] of Object.entries(probes)) {
        it(`draws the ${object}`, async () => {
            // Each point at its own tolerance: wait for all, then compare one by one.
            await movie.waitForColors(points.map((q) => ({ at: q.at, color: q.color })), { tolerance: 40 });
            const seen = await movie.sample(points.map((q) => q.at));
            const wrong = points.map((q, i) => ({ ...q, seen: seen[i] }))
                .filter((q) => colorDistance(q.seen, q.color) > (q.tolerance ?? 12))
                .map((q) => `(${q.at}) shows ${q.seen}, not ${q.color}`);
            assert.deepEqual(wrong, []);
        });
    }

    it("shows the edit-text field's text in its colour", async () => {
        const count = await movie.countPixels(FIELD, isFieldText);
        assert.ok(count >= 40, `only ${count} pixels of the field's text colour`);
    });

    it("stands still on frame 0: after a pause every point shows the same", async () => {
        const points = Object.values(probes).flat();
        const before = await movie.sample(points.map((q) => q.at));
        await pause(600);
        const later = await movie.sample(points.map((q) => q.at));
        const moved = points.filter((_, i) => colorDistance(before[i], later[i]) > 2).map((q) => `(${q.at})`);
        assert.deepEqual(moved, []);
    });

    it("follows the button: over and down states, and a click goes to frame 1's marker", async () => {
        await movie.page.mouse.move(...BUTTON, { steps: 2 });
        await movie.waitForColors([{ at: BUTTON, color: C.gold }], { tolerance: 12 });
        await movie.page.mouse.down();
        await movie.waitForColors([{ at: BUTTON, color: C.crimson }], { tolerance: 12 });
        assert.deepEqual(await movie.sample([MARKER]), [probes["marker's cell, empty before the click"][0].color]);
        await movie.page.mouse.up();
        assert.deepEqual(await movie.openDialogs(), []);
        await movie.waitForColors([{ at: MARKER, color: C.lime }, { at: BUTTON, color: C.gold }], { tolerance: 12 });
        // Frame 1 stops too, and what frame 0 placed stays.
        await pause(400);
        const stay = [MARKER, at(0, 0, 64, 50), at(3, 3, 104, 50), at(2, 4, 95, 50)];
        const colors = await movie.sample(stay);
        [C.lime, C.red, C.green, C.morphEnd].forEach((color, i) => assert.ok(colorDistance(colors[i], color) <= 12, `(${stay[i]}) shows ${colors[i]}`));
    });
});
