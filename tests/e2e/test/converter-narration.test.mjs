// A narrated deck: every narration sound read back by ffmpeg against its
// recording, and the show still navigated in Ruffle with the sounds playing.

import assert from "node:assert/strict";
import { mkdirSync } from "node:fs";
import { join } from "node:path";
import { describe, it } from "node:test";
import { convert, makeDeck, scratchDir } from "../lib/deck.mjs";
import { decodeSound, signalToNoise, writeWav } from "../lib/media.mjs";
import { MoviePage, sharedPlayer } from "../lib/player.mjs";
import { walkFiveSlides } from "../lib/show.mjs";
import { assertClean, checkSwf, tagsOf } from "../lib/swf-check.mjs";

const RATE = 22050; // the narration rate: recordings at it are not resampled
const MIN_SNR = 20; // as for the gallery's sound; 4-bit ADPCM of these tones gives 35 to 42 dB

// A second of a tone per narrated slide, each of its own pitch.
function tone(frequency, seconds = 1) {
    const samples = new Int16Array(Math.round(RATE * seconds));
    for (let i = 0; i < samples.length; ++i) samples[i] = Math.round(12000 * Math.sin((2 * Math.PI * frequency * i) / RATE));
    return samples;
}

// Five slides stopping on frames 0, 1 and 3; slides 1 to 4 narrated (slide 3,
// which plays through to 4, among them), slide 5 silent.
const narrated = (() => {
    const dir = scratchDir("narrated");
    const deck = makeDeck(dir, { count: 5, width: 640, height: 480, stops: "0\n1\n3\n" });
    mkdirSync(join(dir, "voice"));
    const recordings = [330, 440, 550, 660].map((f, i) => {
        const samples = tone(f, 0.6 + 0.2 * i);
        writeWav(join(dir, "voice", `v0${i + 1}.wav`), samples, RATE);
        return samples;
    });
    const run = convert(deck, join(dir, "narrated.swf"), ["--keys", "--narration", "voice/v"]);
    return { deck, recordings, run };
})();

describe("narrated deck", () => {
    const { server, browser } = sharedPlayer();

    it("converts, naming the narrated slide that plays on, and reads clean in swf-parser", () => {
        const { run } = narrated;
        assert.equal(run.status, 0, run.stderr);
        assert.equal(run.stderr, "corvanex: slide 3 is narrated but not a stop point: its narration plays on into the next slides until a click\n");
        const check = checkSwf(run.bytes);
        assertClean(check);
        assert.equal(tagsOf(check, 14).length, 4);
        assert.equal(tagsOf(check, 15).length, 4);
    });

    it("ffmpeg decodes every narration sound within the ADPCM error of its recording", (t) => {
        const check = checkSwf(narrated.run.bytes);
        tagsOf(check, 14).forEach((sound, i) => {
            const source = narrated.recordings[i];
            assert.equal(sound.parsed.sampleCount, source.length, `sound ${i + 1}`);
            assert.equal(sound.parsed.rateCode, 2);
            const decoded = decodeSound(narrated.run.file, { soundId: sound.id });
            assert.ok(decoded.length >= source.length, `sound ${i + 1}: decoded ${decoded.length} of ${source.length} samples`);
            const snr = signalToNoise(source, decoded);
            t.diagnostic(`narration of slide ${i + 1}: ${snr.toFixed(1)} dB`);
            assert.ok(snr >= MIN_SNR, `narration of slide ${i + 1}: ${snr.toFixed(1)} dB is below ${MIN_SNR} dB`);
        });
    });

    it("navigates in Ruffle as the silent deck does, with no player errors", async () => {
        const movie = await MoviePage.open(browser(), server(), narrated.run.bytes);
        try {
            await walkFiveSlides(movie, narrated.deck, { notice: true });
            const errors = movie.log.filter((line) => /^(error|page error)/.test(line));
            assert.deepEqual(errors, []);
        } finally {
            await movie.close();
        }
    });
});
