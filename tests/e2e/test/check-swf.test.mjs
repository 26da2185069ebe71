// The structural checker must catch the faults it exists for: each case
// breaks one thing in a hand-made movie and expects that error, and only it.

import assert from "node:assert/strict";
import { execFileSync, spawnSync } from "node:child_process";
import { writeFileSync } from "node:fs";
import { join } from "node:path";
import { describe, it } from "node:test";
import { fileURLToPath } from "node:url";
import { checkSwf, SWF4_TAGS, tagsOf } from "../lib/swf-check.mjs";
import { scratchDir } from "../lib/deck.mjs";
import * as w from "../lib/swf-writer.mjs";

const CLI = fileURLToPath(new URL("../check-swf.mjs", import.meta.url));
const SQUARE = { xMin: 200, xMax: 1200, yMin: 200, yMax: 1200 };

function frames({ firstActions = [w.action.stop()], extra = [] } = {}) {
    return [
        [
            w.setBackgroundColor([1, 2, 3]),
            w.defineRectangle(1, SQUARE, { rgb: [255, 0, 0] }),
            w.placeObject2({ depth: 1, id: 1 }),
            w.defineButton2(2, { shapeId: 1, actions: [w.action.gotoFrame(1)] }),
            w.placeObject2({ depth: 2, id: 2 }),
            w.doAction(firstActions),
            ...extra,
        ],
        [w.doAction([w.action.play()])],
    ];
}

const good = () => w.movie({ width: 4000, height: 3000, frames: frames() });

// The movie with the tag at `index` (counting from the first after the header) replaced.
function withTag(bytes, index, replace) {
    const result = checkSwf(bytes);
    const tag = result.tags[index];
    const start = tag.offset, end = tag.offset + tag.headerLength + tag.length;
    const out = Buffer.concat([bytes.subarray(0, start), replace(bytes.subarray(start, end)), bytes.subarray(end)]);
    out.writeUInt32LE(out.length, 4);
    return out;
}

function errorsOf(bytes) {
    return checkSwf(bytes).errors;
}

function expectOneError(bytes, pattern, kind = "errors") {
    const result = checkSwf(bytes);
    const found = [...result.errors, ...result.warnings];
    assert.equal(found.length, 1, `expected one finding matching ${pattern}, got:\n${found.join("\n")}`);
    assert.equal(result[kind].length, 1, `expected it among the ${kind}`);
    assert.match(found[0], pattern);
}

const expectOneWarning = (bytes, pattern) => expectOneError(bytes, pattern, "warnings");

describe("structural check", () => {
    it("accepts a well-formed movie and reads its header and tags", () => {
        const result = checkSwf(good());
        assert.deepEqual(result.errors, []);
        assert.deepEqual(result.header.frameSize, { xMin: 0, xMax: 4000, yMin: 0, yMax: 3000 });
        assert.equal(result.header.frameRate, 12);
        assert.equal(result.header.frameCount, 2);
        assert.deepEqual(result.tags.map((t) => t.name), [
            "SetBackgroundColor", "DefineShape", "PlaceObject2", "DefineButton2", "PlaceObject2", "DoAction",
            "ShowFrame", "DoAction", "ShowFrame", "End",
        ]);
        assert.deepEqual(tagsOf(result, 34)[0].actions, ["GotoFrame"]);
    });

    it("lists only tag codes up to 48", () => {
        assert.ok([...SWF4_TAGS.keys()].every((code) => code <= 48));
    });

    it("reports a header whose file length or frame count is wrong", () => {
        const longer = good();
        longer.writeUInt32LE(longer.length + 1, 4);
        expectOneError(longer, /header says \d+ bytes, the file has/);
        const count = good();
        count.writeUInt16LE(3, checkSwf(count).header.length - 2);
        expectOneError(count, /header says 3 frames, the file has 2 ShowFrame tags/);
    });

    it("reports a version other than 4 and a compressed signature", () => {
        expectOneError(w.movie({ width: 20, height: 20, version: 5, frames: [[]] }), /version 5, expected 4/);
        const compressed = good();
        compressed.write("C", 0, "latin1");
        expectOneError(compressed, /signature "CWS"/);
    });

    it("reports bytes a tag's reader leaves unread and a body that ends too early", () => {
        const padded = withTag(good(), 1, (tag) => {
            const body = Buffer.concat([tag.subarray(2), Buffer.from([0])]);
            return w.tag(2, body);
        });
        expectOneError(padded, /DefineShape at \d+: 1 of \d+ bytes left unread/);
        const cut = withTag(good(), 1, (tag) => w.tag(2, tag.subarray(2, tag.length - 6)));
        expectOneError(cut, /DefineShape at \d+: body of \d+ bytes ends 2 bytes before swf-parser's reading of it/);
        const button = withTag(good(), 3, (tag) => w.tag(34, tag.subarray(2, 8)));
        expectOneError(button, /DefineButton2 at \d+: swf-parser cannot read the body \(6 bytes\)/);
    });

    it("reports a tag whose body runs past the end of the file, and a missing End tag", () => {
        const bytes = good();
        const truncated = Buffer.from(bytes.subarray(0, bytes.length - 10));
        truncated.writeUInt32LE(truncated.length, 4);
        const errors = errorsOf(truncated);
        assert.ok(errors.some((e) => /no End tag/.test(e)), errors.join("\n"));
        const noEnd = Buffer.from(bytes.subarray(0, bytes.length - 2));
        noEnd.writeUInt32LE(noEnd.length, 4);
        expectOneError(noEnd, /^no End tag$/);
        const trailing = Buffer.concat([bytes, Buffer.from([0, 0])]);
        trailing.writeUInt32LE(trailing.length, 4);
        expectOneError(trailing, /2 bytes after the End tag/);
        const body = Buffer.concat([bytes.subarray(0, bytes.length - 2), w.tag(12, Buffer.alloc(70)), w.tag(0)]);
        body.writeUInt32LE(body.length, 4);
        body.writeUInt32LE(1000, body.length - 76); // the long length of the added tag
        assert.ok(errorsOf(body).some((e) => /body of 1000 bytes is missing \d+ bytes/.test(e)));
    });

    it("reports tags and actions that SWF 4 does not have", () => {
        expectOneError(w.movie({ width: 20, height: 20, frames: [[w.tag(69, Buffer.alloc(4))]] }), /tag code 69 is not an SWF 4 tag/);
        const defineLocal = w.movie({ width: 20, height: 20, frames: [[w.doAction([[0x3c]])]] });
        expectOneError(defineLocal, /action 0x3C at 0 is not an SWF 4 action/);
        const pushRegister = w.movie({ width: 20, height: 20, frames: [[w.doAction([[0x96, 2, 0, 4, 1]])]] });
        expectOneError(pushRegister, /value type 4 is not SWF 4/);
    });

    it("reports action lists without ActionEnd or with a wrong length, warns of a missing frame", () => {
        const noEnd = withTag(good(), 5, () => w.tag(12, Buffer.from([0x07])));
        expectOneError(noEnd, /actions end without ActionEnd/);
        const shortGoto = withTag(good(), 5, () => w.tag(12, Buffer.from([0x81, 1, 0, 0, 0])));
        expectOneError(shortGoto, /GotoFrame at 0 has a body of 1 bytes, not 2/);
        expectOneWarning(w.movie({ width: 4000, height: 3000, frames: frames({ firstActions: [w.action.gotoFrame(2)] }) }),
            /GotoFrame 2 is beyond the movie's 2 frames/);
    });

    it("warns of a placed character that was never defined and an ID defined twice", () => {
        expectOneWarning(w.movie({ width: 20, height: 20, frames: [[w.placeObject2({ depth: 1, id: 7 })]] }),
            /places character 7, which is not defined before/);
        const twice = w.movie({ width: 4000, height: 3000, frames: frames({ extra: [w.defineRectangle(1, SQUARE, { rgb: [0, 0, 0] })] }) });
        expectOneWarning(twice, /character 1 is defined twice/);
    });

    it("warns of JPEG data without an image in it, and reports a JPEG3 whose data length runs past its body", () => {
        const standIn = Buffer.from([0xff, 0xd8, 1, 2, 3, 0xff, 0xd9]);
        expectOneWarning(w.movie({ width: 20, height: 20, frames: [[w.defineBitsJpeg2(1, standIn)]] }),
            /DefineBitsJPEG2 at \d+: swf-parser finds no image in its JPEG data/);
        const head = Buffer.alloc(6);
        head.writeUInt16LE(1);
        head.writeUInt32LE(standIn.length + 1, 2);
        expectOneError(w.movie({ width: 20, height: 20, frames: [[w.tag(35, Buffer.concat([head, standIn]))]] }),
            /DefineBitsJPEG3 at \d+: the body \(\d+ bytes\) holds no JPEG fields/);
    });

    it("checks the tags inside a sprite", () => {
        const sprite = (nested, frameCount) => {
            const head = Buffer.alloc(4);
            head.writeUInt16LE(3);
            head.writeUInt16LE(frameCount, 2);
            return w.tag(39, Buffer.concat([head, ...nested]));
        };
        const ok = [w.doAction([w.action.stop()]), w.tag(1), w.tag(0)];
        assert.deepEqual(errorsOf(w.movie({ width: 20, height: 20, frames: [[sprite(ok, 1)]] })), []);
        expectOneError(w.movie({ width: 20, height: 20, frames: [[sprite(ok, 2)]] }), /frame count 2 but 1 ShowFrame tags/);
        const bad = [w.tag(12, Buffer.from([0x07, 0, 9])), w.tag(1), w.tag(0)];
        expectOneError(w.movie({ width: 20, height: 20, frames: [[sprite(bad, 1)]] }), /DefineSprite at \d+ > DoAction at 4: 1 bytes after ActionEnd/);
    });

    it("runs as a command that exits 1 and names the error when a file is wrong", () => {
        const dir = scratchDir("check");
        const okFile = join(dir, "ok.swf"), badFile = join(dir, "bad.swf");
        writeFileSync(okFile, good());
        const bad = good();
        bad.writeUInt32LE(1, 4);
        writeFileSync(badFile, bad);
        assert.match(execFileSync("node", [CLI, okFile], { encoding: "utf8" }), /ok\.swf: ok, version 4, \d+ bytes, 4000 x 3000 twips, 2 frames/);
        const run = spawnSync("node", [CLI, okFile, badFile], { encoding: "utf8" });
        assert.equal(run.status, 1);
        assert.match(run.stdout, /bad\.swf: 1 error\(s\)[^\n]*\n  error: header says 1 bytes, the file has \d+/);
    });
});
