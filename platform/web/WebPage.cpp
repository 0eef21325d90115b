#include "platform/web/WebPage.h"

namespace murmelo {

std::string WebPage::text() const {
    std::string out;
    for (const WebBlock& block : blocks) {
        std::string line;
        for (const WebInline& run : block.inlines) {
            if (run.kind == WebInline::Kind::LineBreak) {
                line += '\n';
                continue;
            }
            line += run.text;
        }
        if (line.empty() && block.kind != WebBlock::Kind::Rule)
            continue;
        if (!out.empty())
            out += '\n';
        out += line;
    }
    return out;
}

} // namespace murmelo
