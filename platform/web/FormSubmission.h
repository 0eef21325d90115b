// FormSubmission: the request a form submission sends — the form data set
// (enabled, named controls: checked boxes and radio buttons, the chosen
// option, the pressed submit button only) encoded as the form asks:
// GET puts it in the action's query (replacing any query there), POST sends
// it as application/x-www-form-urlencoded or multipart/form-data.
//
// Names and values are sent as UTF-8 (pages reach us decoded), line breaks
// in values normalised to CR LF. URL encoding keeps letters, digits and
// "*-._", writes a blank as "+" and every other byte as %XX. Pure functions;
// thread-safe.
#pragma once

#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "platform/core/Result.h"
#include "platform/net/URLRequest.h"
#include "platform/web/WebPage.h"

namespace murmelo::web {

using FormDataSet = std::vector<std::pair<std::string, std::string>>;

// The pairs the form submits when `submitter` (an index into form.fields,
// a submit button) was pressed; nothing = submitted without a button.
FormDataSet formDataSet(const WebForm& form, std::optional<std::size_t> submitter);

std::string urlEncodeFormData(const FormDataSet& data);
// The multipart body for `boundary`.
std::string multipartFormData(const FormDataSet& data, const std::string& boundary);

// The request for submitting `form`; an error (NSURLErrorDomain BadURL) when
// its action is no URL. `boundary` is used for multipart bodies.
Result<URLRequest> formSubmissionRequest(const WebForm& form, std::optional<std::size_t> submitter,
                                         const std::string& boundary);

} // namespace murmelo::web
