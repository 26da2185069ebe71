#include "driver/output/htmlpage.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <map>
#include <string_view>
#include <utility>

#include "base/futf8names.h"
#include "driver/core/error.h"
#include "driver/core/pathencoding.h"

namespace {

namespace fs = std::filesystem;

// The page; @KEY@ marks its values. The player loads the movie itself
// (fetching it), so browsers refuse pages opened as files: the page says so.
// The show fills the window with its aspect kept, in CSS alone so that it
// follows every resize and full screen; the rest of the window is the page's
// background. Full screen is the whole page's, so that the same fit applies.
const char* const kPage = R"page(<!doctype html>
<html lang="en">
<head>
<meta charset="utf-8">
<meta name="viewport" content="width=device-width, initial-scale=1">
<title>@TITLE@</title>
<style>
html, body { margin: 0; width: 100%; height: 100%; overflow: hidden; background: #202020; }
body { display: flex; align-items: center; justify-content: center; }
#show { display: block; flex: none;
  width: min(100vw, calc(100vh * @WIDTH@ / @HEIGHT@)); height: min(100vh, calc(100vw * @HEIGHT@ / @WIDTH@)); }
#show:focus { outline: none; }
#fullscreen { position: fixed; top: 8px; right: 8px; width: 40px; height: 40px; padding: 8px; border: 0;
  border-radius: 6px; background: rgba(0, 0, 0, 0.6); color: #fff; cursor: pointer; visibility: hidden; }
#fullscreen.shown, #fullscreen:hover, #fullscreen:focus-visible { visibility: visible; }
#fullscreen svg { display: block; width: 24px; height: 24px; }
#problem { color: #eee; font: 16px/1.5 sans-serif; max-width: 40em; padding: 1em; }
</style>
<script>
// Nothing of the player's may come between the viewer and the show: no splash,
// unmute or unsupported-content notice. Ruffle's own WebGL renderer goes
// first: on a machine without graphics acceleration its wgpu renderers find a
// software adapter, and Ruffle then opens a notice at the first mouse-over
// that takes the first click.
window.RufflePlayer = window.RufflePlayer || {};
window.RufflePlayer.config = { autoplay: "on", unmuteOverlay: "hidden", splashScreen: false,
  preferredRenderer: "webgl", warnOnUnsupportedContent: false, showSwfDownload: false,
  contextMenu: "rightClickOnly", polyfills: false };
</script>
<script src="@SCRIPT@"></script>
</head>
<body>
<div id="problem" hidden></div>
<button id="fullscreen" type="button" title="Full screen (F)" aria-label="Full screen">
<svg viewBox="0 0 24 24" fill="none" stroke="currentColor" stroke-width="2.5" aria-hidden="true">
<path d="M3 9V3h6M15 3h6v6M21 15v6h-6M9 21H3v-6"/></svg>
</button>
<script>
(function () {
  var movie = "@MOVIE@";
  var root = document.documentElement;
  // Full screen, from the button or the F key; the button shows while the
  // pointer moves, so that it hides no corner of the show otherwise.
  var button = document.getElementById("fullscreen");
  function toggleFullScreen() {
    if (document.fullscreenElement) document.exitFullscreen();
    else if (root.requestFullscreen) root.requestFullscreen().catch(function () {});
  }
  button.addEventListener("click", toggleFullScreen);
  document.addEventListener("fullscreenchange", function () {
    var label = document.fullscreenElement ? "Leave full screen" : "Full screen";
    button.title = label + " (F)";
    button.setAttribute("aria-label", label);
  });
  document.addEventListener("keydown", function (event) {
    if ((event.key === "f" || event.key === "F") && !event.repeat && !event.ctrlKey && !event.metaKey && !event.altKey)
      toggleFullScreen();
  }, true);
  if (!root.requestFullscreen) button.remove();
  var hide;
  document.addEventListener("pointermove", function () {
    button.classList.add("shown");
    clearTimeout(hide);
    hide = setTimeout(function () { button.classList.remove("shown"); }, 2500);
  });
  function problem(text) {
    var box = document.getElementById("problem");
    box.textContent = text + (location.protocol === "file:"
      ? " Browsers do not let the player fetch files for a page opened from disk: serve this folder"
        + " (for example with: python3 -m http.server) and open the page through http://localhost."
      : "");
    box.hidden = false;
  }
  if (!window.RufflePlayer.newest || !window.RufflePlayer.newest()) {
    problem("The web player's script (ruffle.js) did not load.");
    return;
  }
  var player = window.RufflePlayer.newest().createPlayer();
  player.id = "show";
  player.tabIndex = 0;
  document.body.insertBefore(player, button);
  // The keyboard goes to the player: once the movie is in (unless the viewer
  // has put it elsewhere) and after a click elsewhere on the page. The player
  // learns that it has the keyboard from the focus event, so focus given
  // before it was listening is given again.
  function focus() { player.focus({ preventScroll: true }); }
  function takeKeyboard() {
    var active = document.activeElement;
    if (active === player) player.blur();
    else if (active && active !== document.body) return;
    focus();
  }
  document.addEventListener("pointerdown", function (event) { if (event.target !== player) setTimeout(focus); });
  player.addEventListener("loadeddata", takeKeyboard);
  player.ruffle().load({ url: movie }).then(takeKeyboard, function (error) {
    player.remove();
    problem("The movie " + movie + " did not load: " + error + ".");
  });
  focus();
})();
</script>
</body>
</html>
)page";

}  // namespace

std::string HtmlEscaped(const std::string& text)
{
    std::string escaped;
    for (char c : text) {
        switch (c) {
        case '&': escaped += "&amp;"; break;
        case '<': escaped += "&lt;"; break;
        case '>': escaped += "&gt;"; break;
        case '"': escaped += "&quot;"; break;
        case '\'': escaped += "&#39;"; break;
        default: escaped += c;
        }
    }
    return escaped;
}

std::string ShowPageHtml(const ShowPage& page)
{
    // One pass over the template, so that a value that looks like a key stays as it is.
    const std::map<std::string, std::string> values{
        {"@TITLE@", HtmlEscaped(page.title)},       {"@SCRIPT@", HtmlEscaped(page.playerScript)},
        {"@MOVIE@", page.movieUrl},                 {"@WIDTH@", std::to_string(page.width)},
        {"@HEIGHT@", std::to_string(page.height)}};
    const std::string_view text = kPage;
    std::string html;
    size_t at = 0;
    for (;;) {
        const size_t key = text.find('@', at);
        const size_t end = key == std::string_view::npos ? key : text.find('@', key + 1);
        if (end == std::string_view::npos) break;
        const auto value = values.find(std::string(text.substr(key, end + 1 - key)));
        if (value == values.end()) {
            html += text.substr(at, key + 1 - at);
            at = key + 1;
            continue;
        }
        html += text.substr(at, key - at);
        html += value->second;
        at = end + 1;
    }
    html += text.substr(at);
    return html;
}

std::string MovieUrlFromPage(const std::string& pageFile, const std::string& movieFile)
{
    std::error_code error;
    fs::path folder = fs::weakly_canonical(fs::absolute(FPathFromUTF8(pageFile), error).parent_path(), error);
    fs::path movie = fs::weakly_canonical(fs::absolute(FPathFromUTF8(movieFile), error), error);
    fs::path relative = movie.lexically_relative(folder);
    if (relative.empty()) relative = movie;
    std::string url = FUTF8FromPath(relative);
#ifdef _WIN32
    // A URL's separator is the slash.
    std::replace(url.begin(), url.end(), '\\', '/');
#endif
    return PercentEncodedPath(url);
}

PageWriter::PageWriter(std::string pageFile) : pageFile(std::move(pageFile))
{
    std::string error;
    if (!file.Open(this->pageFile, &error)) Fail(error);
}

void PageWriter::Commit(const std::string& html)
{
    std::string error;
    if (!file.Write(reinterpret_cast<const uint8_t*>(html.data()), html.size(), &error) || !file.Commit(&error))
        Fail(error);
}

void PageWriter::Fail(const std::string& reason)
{
    throw ConverterError("cannot write the page " + Quoted(pageFile) + ": " + reason, kExitFailure);
}
