// FrontPage: the page of the top screen — the front-most visible web view —
// and what a person does with it: read its links and forms, click, fill,
// submit, run a script, go back in its history. Also the process-wide web
// activity that settling waits for.
//
// Main thread only; stateless (the web view is looked up at every call).
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

#include "platform/core/Result.h"
#include "platform/web/WebPage.h"

namespace murmelo::driver {

class FrontPage {
public:
    // A copy of what the front web view shows; an error when none is shown.
    static Result<WebPage> page();
    static Result<void> clickLink(std::size_t index);
    static Result<void> setFormField(std::size_t form, std::string_view name, std::string_view value);
    static Result<void> submitForm(std::size_t form);
    static Result<std::string> evaluate(std::string_view script);
    // Goes back in the page history; false when there is no page or no history.
    static bool goBack();

    // Over every web view of the process.
    static std::size_t loadsInFlight();
    static std::size_t timersDueWithin(double seconds);
};

} // namespace murmelo::driver
