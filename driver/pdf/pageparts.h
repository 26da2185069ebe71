#pragma once

// What of a PDF page is drawn, in either form.
enum class PageParts {
    // As a viewer shows it: the content, the appearances of its annotations
    // and form fields, and the borders of its links.
    Shown,
    // The content alone (--no-annotations).
    ContentOnly,
};
