// Pictures whose pixels are drawn wider than a bitmap fill scales them (a
// 1 x 1 background stretched over the page, a gradient strip, a 2 x 2
// picture a third of the page wide) are drawn by the converter inside a
// sprite placed larger: played in Ruffle at 1920 x 1080, the page must look
// as pdftoppm draws it. CORVANEX_KEEP=1 keeps stretched.png and reference.png.

import assert from "node:assert/strict";
import { execFileSync, spawnSync } from "node:child_process";
import { existsSync, readFileSync, writeFileSync } from "node:fs";
import { dirname, join } from "node:path";
import { describe, it } from "node:test";
import { ASSETS, CONVERTER, scratchDir } from "../lib/deck.mjs";
import { blockPsnr, rasterisePage, samePixels } from "../lib/imagecompare.mjs";
import { MoviePage, sharedPlayer } from "../lib/player.mjs";
import { encodePng } from "../lib/png.mjs";
import { pause } from "../lib/show.mjs";

const MAKEHOSTILE = process.env.CORVANEX_MAKEHOSTILE || join(dirname(CONVERTER), "makehostile");
const AREA = { x: 0, y: 0, width: 1920, height: 1080 };
const skip = !existsSync(MAKEHOSTILE) ? "no makehostile (a build without PDF support)" : false;

describe("pictures drawn larger than a fill scales them", { skip, timeout: 300000 }, () => {
    const { server, browser } = sharedPlayer();

    it("look in Ruffle as pdftoppm draws them", async () => {
        const dir = scratchDir("hostile");
        execFileSync(MAKEHOSTILE, [dir]);
        const pdf = join(dir, "stretched.pdf"), out = join(dir, "stretched.swf");
        const run = spawnSync(CONVERTER, ["--forward", join(ASSETS, "forward.jpg"), "--backward", join(ASSETS, "backward.jpg"),
            "--size", "1920x1080", pdf, out], { encoding: "utf8", timeout: 120000 });
        assert.equal(run.status, 0, run.stderr);
        assert.match(run.stderr, /pages: 1 vector/);
        const reference = rasterisePage(pdf, 1, AREA);
        const movie = await MoviePage.open(await browser(), await server(), readFileSync(out), { width: AREA.width });
        try {
            let shot = await movie.capture(AREA);
            for (let tries = 0; tries < 60; ++tries) {
                await pause(300);
                const again = await movie.capture(AREA);
                if (samePixels(again, shot)) break;
                shot = again;
            }
            if (process.env.CORVANEX_KEEP) {
                writeFileSync(join(dir, "stretched.png"), encodePng(shot.width, shot.height, shot.pixels, { alpha: false }));
                writeFileSync(join(dir, "reference.png"), encodePng(reference.width, reference.height, reference.pixels, { alpha: false }));
                console.log(`kept in ${dir}`);
            }
            const psnr = blockPsnr(shot, reference);
            assert.ok(psnr >= 27, `block PSNR ${psnr.toFixed(1)} dB against pdftoppm, under 27`);
        } finally {
            await movie.close();
        }
    });
});
