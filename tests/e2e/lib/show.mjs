// What a viewer of a slide show sees and does, as checks on a movie open in
// the player: the slide on show, the buttons, the closing notice. Only
// frames that stop are looked at; the others pass at 12 frames per second.

import assert from "node:assert/strict";
import { BACKGROUND, buttonCenters } from "./deck.mjs";
import { colorDistance } from "./player.mjs";

export const RUFFLE_DEFAULT_BACKGROUND = [255, 255, 255];
export const pause = (ms) => new Promise((resolve) => setTimeout(resolve, ms));

// Points of the slide area away from the closing notice's text (which
// starts at the top left), of the button band away from the buttons, and the
// buttons' centres, in movie pixels.
export function layout({ width, height }) {
    return {
        slide: [[Math.round(width * 0.75), Math.round(height * 0.75)], [width - 4, height - 4], [Math.round(width * 0.6), Math.round(height * 0.9)]],
        band: [[10, height + 20], [width - 10, height + 20], [Math.round(width / 2), height + 20]],
        ...buttonCenters({ width, height }),
    };
}

// Slide n is on show and stays there (a stop point).
export async function expectSlide(movie, deck, n, { timeout = 10000 } = {}) {
    const color = deck.slides[n - 1].color;
    const { slide } = layout(deck);
    await movie.waitForColors(slide.map((at) => ({ at, color })), { timeout });
    await pause(350);
    const again = await movie.sample(slide);
    again.forEach((c) => assert.ok(colorDistance(c, color) <= 12, `slide ${n} did not stay: ${c}`));
}

export async function expectBackground(movie, deck) {
    await movie.waitForColors(layout(deck).band.map((at) => ({ at, color: BACKGROUND })), { tolerance: 2 });
}

const isRed = ([r, g, b]) => r > 180 && g < 80 && b < 80;
const MIN_RED = 20;

// The closing notice: red text over the slide area (its shape depends on the
// player's fallback font, so only its pixels are counted), and it stays.
export async function expectNotice(movie, deck, { timeout = 10000 } = {}) {
    const area = { x: 0, y: 0, width: deck.width, height: deck.height };
    const deadline = Date.now() + timeout;
    let red;
    while ((red = await movie.countPixels(area, isRed)) < MIN_RED && Date.now() < deadline) await pause(100);
    assert.ok(red >= MIN_RED, `only ${red} red pixels over the slide area`);
    await pause(350);
    assert.ok((await movie.countPixels(area, isRed)) >= MIN_RED, "the closing notice did not stay");
}

// The walk through a deck of 5 slides whose stop file is "0\n1\n3\n": stops
// on frames 0, 1 and 3; the backward button of frame 3 goes back to frame 1.
export async function walkFiveSlides(movie, deck, { notice }) {
    const { forward, backward } = layout(deck);
    await expectSlide(movie, deck, 1);
    await expectBackground(movie, deck);
    await movie.click(...forward);
    await expectSlide(movie, deck, 2);
    await movie.click(...forward);
    await expectSlide(movie, deck, 4); // frame 2 plays through to frame 3
    await movie.click(...backward);
    await expectSlide(movie, deck, 2); // the previous stop point, not the first frame
    await movie.click(...backward);
    await expectSlide(movie, deck, 1);
    await movie.click(...forward);
    await expectSlide(movie, deck, 2);
    await movie.click(...forward);
    await expectSlide(movie, deck, 4);
    if (!notice) return;
    await movie.click(...forward); // the last slide plays on to the closing frame
    // The notice's field has a border, so the player fills it white over the slide.
    await expectNotice(movie, deck);
}

// The walk through a deck of 3 slides whose stop file is "0\n1\n".
export async function walkThreeSlides(movie, deck, { notice }) {
    const { forward, backward } = layout(deck);
    await expectSlide(movie, deck, 1);
    await expectBackground(movie, deck);
    await movie.click(...forward);
    await expectSlide(movie, deck, 2);
    await movie.click(...backward);
    await expectSlide(movie, deck, 1);
    await movie.click(...forward);
    await expectSlide(movie, deck, 2);
    if (!notice) return;
    await movie.click(...forward);
    await expectNotice(movie, deck);
}
