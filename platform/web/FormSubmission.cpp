#include "platform/web/FormSubmission.h"

#include <cctype>

#include "platform/core/Text.h"
#include "platform/net/URLConnectionError.h"

namespace murmelo::web {

namespace {

std::string normalizeNewlines(const std::string& text) {
    std::string out;
    out.reserve(text.size());
    for (std::size_t i = 0; i < text.size(); ++i) {
        char c = text[i];
        if (c == '\r') {
            out += "\r\n";
            if (i + 1 < text.size() && text[i + 1] == '\n')
                ++i;
        } else if (c == '\n') {
            out += "\r\n";
        } else {
            out += c;
        }
    }
    return out;
}

void appendEncoded(std::string& out, const std::string& text) {
    for (char c : text) {
        auto byte = static_cast<unsigned char>(c);
        if (std::isalnum(byte) || c == '*' || c == '-' || c == '.' || c == '_') {
            out += c;
        } else if (c == ' ') {
            out += '+';
        } else {
            text::appendPercentEscape(out, byte);
        }
    }
}

// A name in a Content-Disposition header: quotes and line breaks escaped.
std::string dispositionName(const std::string& name) {
    std::string out;
    for (char c : name) {
        if (c == '"')
            out += "%22";
        else if (c == '\r')
            out += "%0D";
        else if (c == '\n')
            out += "%0A";
        else
            out += c;
    }
    return out;
}

} // namespace

FormDataSet formDataSet(const WebForm& form, std::optional<std::size_t> submitter) {
    FormDataSet data;
    for (std::size_t i = 0; i < form.fields.size(); ++i) {
        const WebFormField& field = form.fields[i];
        const std::string& type = field.type;
        if (field.disabled)
            continue;
        bool isButton = type == "submit" || type == "image" || type == "button" || type == "reset";
        if (isButton) {
            if (!submitter || *submitter != i || type == "button" || type == "reset")
                continue;
            if (type == "image") {
                std::string prefix = field.name.empty() ? std::string() : field.name + ".";
                data.emplace_back(prefix + "x", "0");
                data.emplace_back(prefix + "y", "0");
                continue;
            }
        }
        if (field.name.empty())
            continue;
        if ((type == "checkbox" || type == "radio") && !field.checked)
            continue;
        if (type == "select" && field.options.empty())
            continue;
        data.emplace_back(normalizeNewlines(field.name), normalizeNewlines(field.value));
    }
    return data;
}

std::string urlEncodeFormData(const FormDataSet& data) {
    std::string out;
    for (const auto& [name, value] : data) {
        if (!out.empty())
            out += '&';
        appendEncoded(out, name);
        out += '=';
        appendEncoded(out, value);
    }
    return out;
}

std::string multipartFormData(const FormDataSet& data, const std::string& boundary) {
    std::string out;
    for (const auto& [name, value] : data) {
        out += "--" + boundary + "\r\n";
        out += "Content-Disposition: form-data; name=\"" + dispositionName(name) + "\"\r\n\r\n";
        out += value;
        out += "\r\n";
    }
    out += "--" + boundary + "--\r\n";
    return out;
}

Result<URLRequest> formSubmissionRequest(const WebForm& form, std::optional<std::size_t> submitter,
                                         const std::string& boundary) {
    std::optional<URL> action = URL::strictParse(form.action);
    if (!action || !action->scheme())
        return urlError(URLErrorCode::BadURL, form.action);
    FormDataSet data = formDataSet(form, submitter);
    if (form.method != "POST") {
        // The query is replaced; the fragment goes too.
        std::string base = action->absoluteString();
        std::size_t cut = base.find_first_of("?#");
        if (cut != std::string::npos)
            base.resize(cut);
        auto target = URL::strictParse(base + "?" + urlEncodeFormData(data));
        if (!target)
            return urlError(URLErrorCode::BadURL, form.action);
        return URLRequest(*target);
    }
    URLRequest request(action->absoluteURL());
    request.HTTPMethod = "POST";
    std::string body;
    if (form.enctype == "multipart/form-data") {
        body = multipartFormData(data, boundary);
        request.setValue("multipart/form-data; boundary=" + boundary, "Content-Type");
    } else {
        body = urlEncodeFormData(data);
        request.setValue("application/x-www-form-urlencoded", "Content-Type");
    }
    request.HTTPBody = Data(body.begin(), body.end());
    return request;
}

} // namespace murmelo::web
