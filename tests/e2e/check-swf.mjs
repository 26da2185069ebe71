#!/usr/bin/env node
// Checks SWF files with an independent reader:
//   node check-swf.mjs [--tags] [--strict] [--version N] FILE...
// Prints one line per file, then its errors and warnings; exits 1 when any
// file has an error (or, with --strict, a warning).

import { readFileSync } from "node:fs";
import { checkSwf } from "./lib/swf-check.mjs";

const args = process.argv.slice(2);
let listTags = false;
let strict = false;
let version = 4;
const files = [];
for (let i = 0; i < args.length; ++i) {
    if (args[i] === "--tags") listTags = true;
    else if (args[i] === "--strict") strict = true;
    else if (args[i] === "--version") version = Number(args[++i]);
    else files.push(args[i]);
}
if (files.length === 0) {
    console.error("usage: node check-swf.mjs [--tags] [--version N] FILE...");
    process.exit(2);
}

let failed = 0;
for (const file of files) {
    let result;
    try {
        result = checkSwf(readFileSync(file), { version });
    } catch (e) {
        console.log(`${file}: cannot be read: ${e.message}`);
        ++failed;
        continue;
    }
    const { header, tags, errors, warnings } = result;
    const summary = header?.frameSize
        ? `version ${header.version}, ${header.fileLength} bytes, ${header.frameSize.xMax} x ${header.frameSize.yMax} twips, ` +
          `${header.frameCount} frames, ${tags.length} tags`
        : "no readable header";
    const verdict = [errors.length && `${errors.length} error(s)`, warnings.length && `${warnings.length} warning(s)`].filter(Boolean).join(", ");
    console.log(`${file}: ${verdict || "ok"}, ${summary}`);
    for (const error of errors) console.log(`  error: ${error}`);
    for (const warning of warnings) console.log(`  warning: ${warning}`);
    if (listTags) {
        const print = (list, indent) => {
            for (const t of list) {
                const extra = [t.id !== undefined ? `id ${t.id}` : "", t.actions ? t.actions.join(" ") : ""].filter(Boolean).join(", ");
                console.log(`${indent}${t.offset}: ${t.name} (${t.length} bytes)${extra ? ": " + extra : ""}`);
                if (t.tags) print(t.tags, indent + "  ");
            }
        };
        print(tags, "  ");
    }
    if (errors.length || (strict && warnings.length)) ++failed;
}
process.exit(failed ? 1 : 0);
