// Every movie the C++ tests write, read by swf-parser. The test programs run
// with CORVANEX_SWF_DIR naming a scratch folder, below which each test keeps
// what it wrote in a folder of its own (tests/support/movie_folder.h); every
// .swf file there must read without an error. Warnings are allowed: unit tests
// write movies that place characters they never define, or stand-in JPEG
// data, on purpose. With CORVANEX_SWF_DIR set for this suite, the movies
// already in that folder are read instead and no program is run.

import assert from "node:assert/strict";
import { spawnSync } from "node:child_process";
import { createHash } from "node:crypto";
import { existsSync, readdirSync, readFileSync, statSync } from "node:fs";
import { join, resolve } from "node:path";
import { describe, it } from "node:test";
import { REPO, scratchDir } from "../lib/deck.mjs";
import { checkSwf } from "../lib/swf-check.mjs";

const PROGRAMS = ["swf_tests", "hf_tests", "audio_tests", "driver_tests"];
const TEST_DIR = resolve(REPO, process.env.CORVANEX_TEST_DIR || "build/dev/tests");
const given = process.env.CORVANEX_SWF_DIR;

// Every .swf file below `dir`, as paths relative to it.
function movies(dir) {
    if (!existsSync(dir)) return [];
    return readdirSync(dir, { recursive: true }).map(String)
        .filter((f) => f.endsWith(".swf") && statSync(join(dir, f)).isFile()).sort();
}

// Reads each file once per distinct content (a scratch folder keeps a copy of
// each run's movie beside the last one); returns the findings and counts.
function readAll(dir, files) {
    const seen = new Set();
    const faults = [];
    let warned = 0;
    for (const file of files) {
        const bytes = readFileSync(join(dir, file));
        const hash = createHash("sha1").update(bytes).digest("hex");
        if (seen.has(hash)) continue;
        seen.add(hash);
        const { errors, warnings } = checkSwf(bytes);
        if (errors.length) faults.push(`${file}:\n    ${errors.slice(0, 5).join("\n    ")}${errors.length > 5 ? `\n    ... ${errors.length - 5} more` : ""}`);
        else if (warnings.length) ++warned;
    }
    return { distinct: seen.size, faults, warned };
}

function expectClean(t, dir, files) {
    assert.ok(files.length > 0, `no .swf file below ${dir}`);
    const { distinct, faults, warned } = readAll(dir, files);
    t.diagnostic(`${files.length} movies (${distinct} distinct) read, ${warned} with warnings only`);
    assert.equal(faults.length, 0, `movies with errors:\n  ${faults.join("\n  ")}`);
}

if (given) {
    describe(`movies in ${given} in swf-parser`, () => {
        it("every movie reads without an error", (t) => expectClean(t, given, movies(given)));
    });
} else {
    describe("the C++ tests' movies in swf-parser", () => {
        const root = scratchDir("cpp-movies");
        for (const program of PROGRAMS) {
            it(`${program}: every movie its tests write reads without an error`, (t) => {
                const path = join(TEST_DIR, program);
                assert.ok(existsSync(path), `no test program at ${path}: build it (cmake --build --preset dev) or set CORVANEX_TEST_DIR`);
                const run = spawnSync(path, ["--gtest_brief=1"], {
                    env: { ...process.env, CORVANEX_SWF_DIR: root }, encoding: "utf8", timeout: 600000, maxBuffer: 64 << 20,
                });
                if (run.error) throw run.error;
                assert.equal(run.status, 0, `${program} failed:\n${run.stdout.slice(-3000)}\n${run.stderr.slice(-2000)}`);
                const dir = join(root, program);
                expectClean(t, dir, movies(dir));
            });
        }
    });
}
