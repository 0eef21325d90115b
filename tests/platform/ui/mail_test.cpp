// The mail composer and the messages it writes: when mail can be sent, the
// outbox file (headers, encoding, line limits), header injection, sendmail,
// failures, drafts and cancelling.
#include <gtest/gtest.h>

#include <dirent.h>
#include <sys/stat.h>

#include "platform/core/Clock.h"
#include "platform/core/Log.h"
#include "platform/foundation/Crypto.h"
#include "platform/ui/MailComposeViewController.h"
#include "platform/ui/MailMessage.h"
#include "platform/ui/MailSettings.h"
#include "tests/platform/ui/ui_test_support.h"

using namespace murmelo;
using namespace murmelo::test;

namespace {

struct Finish {
    MailComposeResult result;
    std::optional<Error> error;
};

class MailDelegate : public MailComposeViewControllerDelegate {
public:
    void didFinishWithResult(MailComposeViewController& composer, MailComposeResult result,
                             const std::optional<Error>& error) override {
        finishes.push_back({result, error});
        if (dismiss) {
            composer.dismissModalViewControllerAnimated(true);
        }
    }
    std::vector<Finish> finishes;
    bool dismiss = true;
};

std::vector<std::string> filesIn(const std::string& directory) {
    std::vector<std::string> names;
    if (DIR* d = opendir(directory.c_str())) {
        while (dirent* entry = readdir(d)) {
            std::string name = entry->d_name;
            if (name != "." && name != "..") {
                names.push_back(directory + "/" + name);
            }
        }
        closedir(d);
    }
    return names;
}

std::string decodeQuotedPrintable(const std::string& text) {
    std::string out;
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '=' && i + 2 < text.size() && text[i + 1] == '\r' && text[i + 2] == '\n') {
            i += 2; // soft line break
        } else if (text[i] == '=' && i + 2 < text.size()) {
            out += static_cast<char>(std::stoi(text.substr(i + 1, 2), nullptr, 16));
            i += 2;
        } else {
            out += text[i];
        }
    }
    return out;
}

// The header block and the body of a message.
std::pair<std::string, std::string> split(const std::string& message) {
    size_t blank = message.find("\r\n\r\n");
    if (blank == std::string::npos) {
        return {message, ""};
    }
    return {message.substr(0, blank + 2), message.substr(blank + 4)};
}

void expectWellFormed(const std::string& message) {
    for (size_t start = 0; start < message.size();) {
        size_t end = message.find("\r\n", start);
        ASSERT_NE(end, std::string::npos) << "every line ends in CRLF";
        EXPECT_LE(end - start, 78u) << message.substr(start, end - start);
        EXPECT_EQ(message.substr(start, end - start).find('\n'), std::string::npos);
        start = end + 2;
    }
}

class MailTest : public UITest {
protected:
    void SetUp() override {
        UITest::SetUp();
        window = makeWindow();
        root = std::make_shared<ViewController>();
        window->addSubview(root->view());
        delegate = std::make_shared<MailDelegate>();
        outbox = dir().path() + "/outbox";
        MailSettings::shared().setOutboxDirectory(outbox);
        MailSettings::shared().setDraftsDirectory(dir().path() + "/drafts");
        MailSettings::shared().setFromAddress("Tester <tester@example.org>");
    }

    std::shared_ptr<MailComposeViewController> present(const std::string& subject, const std::string& body) {
        auto composer = std::make_shared<MailComposeViewController>();
        composer->setMailComposeDelegate(delegate);
        composer->setSubject(subject);
        composer->setMessageBody(body, true);
        root->presentModalViewController(composer, true);
        EXPECT_TRUE(Interaction::settle());
        return composer;
    }

    void typeRecipient(const std::string& address) {
        ASSERT_TRUE(Interaction::tapTextInput("To"));
        ASSERT_TRUE(Interaction::typeText(address));
    }

    std::shared_ptr<Window> window;
    std::shared_ptr<ViewController> root;
    std::shared_ptr<MailDelegate> delegate;
    std::string outbox;
};

} // namespace

TEST_F(UITest, MailCanBeSentWithAnOutboxOrASendmailProgram) {
    struct Case {
        const char* name;
        bool outbox;
        bool sendmail;
        bool expected;
    };
    const Case cases[] = {
        {"default outbox", true, false, true},
        {"nothing configured", false, false, false},
        {"sendmail only", false, true, true},
        {"both", true, true, true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        MailSettings::shared().reset();
        if (!c.outbox) {
            MailSettings::shared().setOutboxDirectory(std::nullopt);
        }
        if (c.sendmail) {
            MailSettings::shared().setSendmailCommand(std::vector<std::string>{"/usr/sbin/sendmail", "-t"});
        }
        EXPECT_EQ(MailComposeViewController::canSendMail(), c.expected);
    }
    MailSettings::shared().reset();
    EXPECT_EQ(*MailSettings::shared().outboxDirectory(), AppHome::current()->path() + "/Library/Mail/Outbox");
}

TEST_F(MailTest, SendingWritesAnRFC5322MessageIntoTheOutbox) {
    std::string body = "<html><body>Hey, I found this worth reading! <br /><br /> a secret with = and a "
                       "very long line that goes on and on well past seventy-six characters of text, "
                       "and ünïcödé too<hr>\n-</body></html>";
    auto composer = present("Murmelo", body);
    // "Send" waits for a valid recipient.
    EXPECT_FALSE(Interaction::tapButton("Send"));
    typeRecipient("friend@");
    EXPECT_FALSE(Interaction::tapButton("Send"));
    ASSERT_TRUE(Interaction::typeText("example.com, other@example.net"));
    double before = Clock::now();
    ASSERT_TRUE(Interaction::tapButton("Send"));
    ASSERT_EQ(delegate->finishes.size(), 1u);
    EXPECT_EQ(delegate->finishes[0].result, MailComposeResult::Sent);
    EXPECT_FALSE(delegate->finishes[0].error);
    ASSERT_TRUE(Interaction::settle());
    EXPECT_EQ(root->modalViewController(), nullptr); // the delegate dismissed it

    auto files = filesIn(outbox);
    ASSERT_EQ(files.size(), 1u);
    std::string message = readFile(files[0]);
    expectWellFormed(message);
    auto [headers, encoded] = split(message);
    EXPECT_NE(headers.find("From: Tester <tester@example.org>\r\n"), std::string::npos);
    EXPECT_NE(headers.find("To: friend@example.com, other@example.net\r\n"), std::string::npos);
    EXPECT_NE(headers.find("Subject: Murmelo\r\n"), std::string::npos);
    EXPECT_NE(headers.find("MIME-Version: 1.0\r\n"), std::string::npos);
    EXPECT_NE(headers.find("Content-Type: text/html; charset=UTF-8\r\n"), std::string::npos);
    EXPECT_NE(headers.find("Content-Transfer-Encoding: quoted-printable\r\n"), std::string::npos);
    EXPECT_NE(headers.find("Message-ID: <"), std::string::npos);
    EXPECT_NE(headers.find("Date: " + rfc5322Date(before).substr(0, 16)), std::string::npos);
    std::string decoded = decodeQuotedPrintable(encoded);
    std::string expectedBody = body;
    expectedBody.replace(expectedBody.find("\n-"), 1, "\r\n");
    EXPECT_EQ(decoded, expectedBody + "\r\n");
    struct stat info {};
    ASSERT_EQ(stat(files[0].c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 0777, 0600u);
}

TEST_F(MailTest, HeaderTextsCannotSmuggleInHeaders) {
    auto composer = present("Hi\r\nBcc: spy@evil.example", "body");
    typeRecipient("friend@example.com");
    ASSERT_TRUE(Interaction::tapButton("Send"));
    auto files = filesIn(outbox);
    ASSERT_EQ(files.size(), 1u);
    auto [headers, body] = split(readFile(files[0]));
    EXPECT_EQ(headers.find("\r\nBcc:"), std::string::npos);
    EXPECT_NE(headers.find("Subject: Hi  Bcc: spy@evil.example\r\n"), std::string::npos);

    // Recipients with line breaks never reach a message.
    MailMessage forged;
    forged.from = "a@example.com";
    forged.to = {"b@example.com\r\nBcc: c@example.com"};
    EXPECT_FALSE(forged.serialize());
    EXPECT_FALSE(parseMailAddressList("ok@example.com, bad\n@example.com"));
}

TEST_F(UITest, NonASCIISubjectsAndNamesBecomeEncodedWords) {
    MailMessage message;
    message.from = "Zoë Ärger <zoe@example.org>";
    message.to = {"x@example.com"};
    message.subject =
        std::string("Geheimnis: ") + std::string(30, 'x') + " über alles — 秘密 " + std::string(40, 'y');
    message.body = "plain";
    message.date = 0;
    auto text = message.serialize();
    ASSERT_TRUE(text);
    expectWellFormed(*text);
    auto [headers, body] = split(*text);
    EXPECT_NE(headers.find("Content-Type: text/plain; charset=UTF-8"), std::string::npos);
    EXPECT_NE(headers.find("Date: Thu, 01 Jan 1970 00:00:00 +0000"), std::string::npos);
    // Decode every encoded word of the subject back.
    size_t start = headers.find("Subject: ");
    size_t end = headers.find("\r\nMessage-ID");
    std::string subject = headers.substr(start, end - start);
    std::string decoded;
    for (size_t at = subject.find("=?UTF-8?B?"); at != std::string::npos;
         at = subject.find("=?UTF-8?B?", at)) {
        size_t close = subject.find("?=", at + 10);
        auto bytes = base64Decode(subject.substr(at + 10, close - at - 10));
        ASSERT_TRUE(bytes);
        decoded.append(bytes->begin(), bytes->end());
        at = close + 2;
    }
    EXPECT_EQ(decoded, message.subject);
    EXPECT_NE(headers.find("From: =?UTF-8?B?"), std::string::npos);
    EXPECT_NE(headers.find("<zoe@example.org>"), std::string::npos);
}

TEST(MailFormat, QuotedPrintableKeepsEveryByteAndTheLineLimit) {
    struct Case {
        const char* name;
        std::string text;
        std::string expected;
    };
    const Case cases[] = {
        {"plain", "abc", "abc"},
        {"equals sign", "a=b", "a=3Db"},
        {"blank before a line break", "a \nb", "a=20\r\nb"},
        {"tab at the end", "a\t", "a=09"},
        {"line breaks of every kind", "a\r\nb\rc\nd", "a\r\nb\r\nc\r\nd"},
        {"non-ASCII", "é", "=C3=A9"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(quotedPrintable(c.text), c.expected);
    }
    std::string longLine(200, 'x');
    std::string encoded = quotedPrintable(longLine);
    EXPECT_EQ(decodeQuotedPrintable(encoded), longLine);
    for (size_t start = 0; start < encoded.size();) {
        size_t end = encoded.find("\r\n", start);
        size_t length = (end == std::string::npos ? encoded.size() : end) - start;
        EXPECT_LE(length, 76u);
        start = end == std::string::npos ? encoded.size() : end + 2;
    }
}

TEST(MailFormat, AddressesAreCheckedStrictly) {
    struct Case {
        const char* address;
        bool valid;
    };
    const Case cases[] = {
        {"a@example.com", true},
        {"first.last+tag@sub.example.org", true},
        {"x@localhost", true},
        {"", false},
        {"no-at.example.com", false},
        {"@example.com", false},
        {"a@", false},
        {"a..b@example.com", false},
        {".a@example.com", false},
        {"a@-example.com", false},
        {"a@example..com", false},
        {"a b@example.com", false},
        {"a@exa mple.com", false},
        {"a\r\n@example.com", false},
        {"\"quoted\"@example.com", false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.address);
        EXPECT_EQ(isValidMailAddress(c.address), c.valid);
    }
    auto list = parseMailAddressList(" a@example.com ,Name <b@example.com>,, ");
    ASSERT_TRUE(list);
    EXPECT_EQ(*list, (std::vector<std::string>{"a@example.com", "b@example.com"}));
    auto box = parseMailbox("\"Some, One\" <c@example.com>");
    ASSERT_TRUE(box);
    EXPECT_EQ(box->name, "Some, One");
}

TEST_F(MailTest, SendmailGetsTheMessageAndItsFailuresAreReported) {
    std::string piped = dir().path() + "/piped.eml";
    struct Case {
        const char* name;
        bool outbox;
        std::string script;
        MailComposeResult expected;
        bool pipedFile;
        size_t outboxFiles;
    };
    const Case cases[] = {
        {"sendmail alone takes it", false, "cat > \"$0\"", MailComposeResult::Sent, true, 0},
        {"sendmail fails, no outbox", false, "cat > /dev/null; exit 75", MailComposeResult::Failed, false, 0},
        {"sendmail fails, the outbox keeps it", true, "exit 1", MailComposeResult::Sent, false, 1},
        {"sendmail hangs past its time-out", false, "exec sleep 30", MailComposeResult::Failed, false, 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        ::unlink(piped.c_str());
        for (const auto& file : filesIn(outbox)) {
            ::unlink(file.c_str());
        }
        delegate->finishes.clear();
        MailSettings::shared().setOutboxDirectory(c.outbox ? std::optional<std::string>(outbox)
                                                           : std::nullopt);
        MailSettings::shared().setSendmailCommand(std::vector<std::string>{"/bin/sh", "-c", c.script, piped});
        MailSettings::shared().setSendmailTimeout(0.5);
        LogCapture capture;
        present("Subject", "<b>hi</b>");
        typeRecipient("friend@example.com");
        double start = Clock::monotonic();
        ASSERT_TRUE(Interaction::tapButton("Send"));
        EXPECT_LT(Clock::monotonic() - start, 5.0);
        ASSERT_EQ(delegate->finishes.size(), 1u);
        EXPECT_EQ(delegate->finishes[0].result, c.expected);
        if (c.expected == MailComposeResult::Failed) {
            ASSERT_TRUE(delegate->finishes[0].error);
            EXPECT_TRUE(delegate->finishes[0].error->is(std::string(MailComposeViewController::kErrorDomain),
                                                        MailComposeViewController::kErrorSendFailed));
            EXPECT_TRUE(capture.contains("sendmail did not take the message"));
        }
        EXPECT_EQ(filesIn(outbox).size(), c.outboxFiles);
        if (c.pipedFile) {
            std::string text = readFile(piped);
            EXPECT_EQ(text.find('\r'), std::string::npos); // sendmail gets plain line feeds
            EXPECT_NE(text.find("To: friend@example.com\n"), std::string::npos);
        }
        ASSERT_TRUE(Interaction::settle());
    }
}

TEST_F(MailTest, AnUnwritableOutboxFailsTheSend) {
    writeFile(dir().path() + "/blocked", "a file where the folder should be");
    MailSettings::shared().setOutboxDirectory(dir().path() + "/blocked/outbox");
    delegate->dismiss = false;
    LogCapture capture;
    present("s", "b");
    typeRecipient("friend@example.com");
    ASSERT_TRUE(Interaction::tapButton("Send"));
    ASSERT_EQ(delegate->finishes.size(), 1u);
    EXPECT_EQ(delegate->finishes[0].result, MailComposeResult::Failed);
    ASSERT_TRUE(delegate->finishes[0].error);
    EXPECT_TRUE(delegate->finishes[0].error->underlyingError());
    EXPECT_TRUE(capture.contains("the outbox did not take the message"));
    EXPECT_NE(root->modalViewController(), nullptr); // the composer stays until its delegate acts
}

TEST_F(MailTest, CancellingOffersToDeleteOrSaveTheDraft) {
    struct Case {
        const char* name;
        int sheetButton;
        std::optional<MailComposeResult> expected;
        size_t drafts;
    };
    const Case cases[] = {
        {"delete draft", 0, MailComposeResult::Cancelled, 0},
        {"keep editing", 2, std::nullopt, 0},
        {"save draft", 1, MailComposeResult::Saved, 1},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        delegate->finishes.clear();
        auto composer = present("Draft", "<p>unfinished</p>");
        ASSERT_TRUE(Interaction::tapButton("Cancel"));
        std::string screen = Interaction::dump();
        EXPECT_NE(screen.find("[0] \"Delete Draft\" (destructive)"), std::string::npos) << screen;
        EXPECT_NE(screen.find("[2] \"Cancel\" (cancel)"), std::string::npos) << screen;
        ASSERT_TRUE(Interaction::tapSheetButton(c.sheetButton));
        ASSERT_TRUE(Interaction::settle());
        if (c.expected) {
            ASSERT_EQ(delegate->finishes.size(), 1u);
            EXPECT_EQ(delegate->finishes[0].result, *c.expected);
        } else {
            EXPECT_TRUE(delegate->finishes.empty());
            composer->dismissModalViewControllerAnimated(false);
        }
        EXPECT_EQ(filesIn(dir().path() + "/drafts").size(), c.drafts);
        EXPECT_TRUE(filesIn(outbox).empty());
    }
    std::string draft = readFile(filesIn(dir().path() + "/drafts")[0]);
    EXPECT_NE(draft.find("Subject: Draft\r\n"), std::string::npos);
    EXPECT_EQ(draft.find("To:"), std::string::npos);
}
