// A picture of what the player shows once it holds still, for measuring
// pages: two captures alike, not one flat colour, and (after a step) not the
// picture before. Past `timeout` ms it is taken as it is: the figures then
// show what went wrong.

import { samePixels } from "./imagecompare.mjs";
import { MoviePage } from "./player.mjs";
import { pause } from "./show.mjs";

const uniform = ({ pixels }) => pixels.every((v, i) => v === pixels[i & 3]);

export async function settledCapture(movie, { area, previous, timeout = 20000 }) {
    const deadline = Date.now() + timeout;
    let last = await movie.capture(area);
    for (;;) {
        await pause(300);
        const shot = await movie.capture(area);
        if (samePixels(shot, last) && !uniform(shot) && !(previous && samePixels(shot, previous))) return shot;
        if (Date.now() > deadline) return shot;
        last = shot;
    }
}

// Pictures of the first `count` pages of a show made with --keys, shown
// `area.width` pixels wide with the player's `config`, stepping by key.
export async function showPictures(browser, server, bytes, count, { area, config = {} }) {
    const movie = await MoviePage.open(browser, server, bytes, { width: area.width, config });
    try {
        const shots = [await settledCapture(movie, { area })];
        await movie.page.focus("#player");
        while (shots.length < count) {
            await movie.press("ArrowRight");
            shots.push(await settledCapture(movie, { area, previous: shots.at(-1) }));
        }
        return shots;
    } finally {
        await movie.close();
    }
}
