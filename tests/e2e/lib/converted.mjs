// Converted decks shared by the converter's tests, and what their movies
// hold, so that a check can wait for the feature it needs.

import { convert, makeDeck, scratchDir } from "./deck.mjs";
import { checkSwf, tagsOf } from "./swf-check.mjs";

// Converts a fresh deck, with the converter's `args` if any; the run must
// succeed and leave a movie.
export function convertDeck(name, options, args = []) {
    const deck = makeDeck(scratchDir(name), options);
    const run = convert(deck, undefined, args);
    if (run.status !== 0 || !run.bytes) {
        throw new Error(`converter failed on ${name} (status ${run.status}): ${run.stderr}`);
    }
    const check = checkSwf(run.bytes);
    const has = (code) => tagsOf(check, code).length > 0;
    return {
        deck,
        run,
        check,
        features: {
            slides: has(21), // DefineBitsJPEG2
            buttons: has(34), // DefineButton2
            background: has(9), // SetBackgroundColor
            notice: has(37), // DefineEditText
        },
    };
}

// A test's skip option: false when the movie has what the test needs,
// otherwise the reason, naming the feature still to come.
export function needs(converted, ...features) {
    const missing = features.filter((f) => !converted.features[f]);
    return missing.length ? `the converter's movie has no ${missing.join(", ")} yet` : false;
}
