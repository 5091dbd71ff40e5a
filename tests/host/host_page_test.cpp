// SPDX-License-Identifier: Apache-2.0
// Reading host pages: which parameters a page hands the control, and the
// messages for pages that hand it none.
#include "host/common/ControlObject.h"
#include "host/common/HostPage.h"
#include "host/common/PageEncoding.h"
#include "net/InternetSession.h"
#include "platform/text/Utf8.h"
#include "support/CacheHome.h"
#include "support/InetTestSupport.h"
#include "support/TestServer.h"
#include "support/TestServers.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <string>
#include <unistd.h>

namespace {

namespace fs = std::filesystem;

std::string Object(const std::string& classId, const std::string& inside = "",
                   const std::string& size = "") {
    return "<object classid=\"" + classId + "\"" + size + ">" + inside + "</object>";
}

TEST(ControlObject, IsFoundWhereABrowserWouldCreateTheControl) {
    const std::string id = ControlClassId();
    std::string lower = id;
    std::transform(lower.begin(), lower.end(), lower.begin(), ::tolower);
    const std::string other = "clsid:00000000-0000-0000-0000-000000000000";
    struct Case {
        std::string page;
        std::string found; // the element as the page writes it; empty: none
        std::string width;
    };
    const std::string control = Object(id, "<param name=a value=b>", " width=300 height='50%'");
    const Case cases[] = {
        {"<p>no object</p>", "", ""},
        {Object(other), "", ""},
        {"<!-- " + control + " -->", "", ""},
        {"<script>var s = '" + control + "';</script>", "", ""},
        {"<TEXTAREA rows=3>" + control + "</textarea>", "", ""},
        {"<title>" + control + "</title><noscript>" + control + "</noscript>", "", ""},
        {"<template>" + control + "</template><xmp>" + control + "</xmp>" + control, control,
         "300"},
        {"<p>" + control + "</p>", control, "300"},
        {Object(other) + "<OBJECT CLASSID=\"" + lower + "\"></OBJECT>tail",
         "<OBJECT CLASSID=\"" + lower + "\"></OBJECT>", ""},
        {Object(id, Object(other, "x") + "<param name=a>") + "tail",
         Object(id, Object(other, "x") + "<param name=a>"), ""},
        {Object(id, "", " width=\"100\" height=\"javascript:x\""),
         Object(id, "", " width=\"100\" height=\"javascript:x\""), "100"},
        {"<object classid=\"" + id + "\">unclosed", "<object classid=\"" + id + "\">", ""},
    };
    for (const Case& c : cases) {
        const std::optional<ControlObjectSpan> span = FindControlObject(c.page);
        ASSERT_EQ(span.has_value(), !c.found.empty()) << c.page;
        if (span) {
            EXPECT_EQ(c.page.substr(span->begin, span->end - span->begin), c.found);
            EXPECT_EQ(span->width, c.width);
            EXPECT_EQ(ReplaceSpan(c.page, *span, "[panel]"),
                      c.page.substr(0, span->begin) + "[panel]" + c.page.substr(span->end));
        }
    }
}

::testing::AssertionResult Mentions(const std::string& text, const std::string& part) {
    if (text.find(part) != std::string::npos) {
        return ::testing::AssertionSuccess();
    }
    return ::testing::AssertionFailure() << '"' << text << "\" does not mention \"" << part << '"';
}

/// An <object> element for the control, holding `inner`.
std::string ControlObject(const std::string& inner, const std::string& classId = ControlClassId()) {
    return "<object classid=\"" + classId + "\" width=400 height=300>" + inner + "</object>";
}

std::string Page(const std::string& body) {
    return "<html><head><title>Host</title></head><body>" + body + "</body></html>";
}

class HostPageFile : public ::testing::Test {
  protected:
    void SetUp() override {
        std::string pattern = (fs::temp_directory_path() / "dravik-hostpage-XXXXXX").string();
        ASSERT_NE(::mkdtemp(pattern.data()), nullptr);
        m_dir = pattern;
    }
    void TearDown() override { fs::remove_all(m_dir); }

    std::string Write(const std::string& name, const std::string& bytes) const {
        const fs::path path = m_dir / name;
        std::ofstream(path, std::ios::binary) << bytes;
        return path.string();
    }
    HostPageResult Read(const std::string& bytes) const {
        return ReadHostPage(Write("page.html", bytes));
    }

    fs::path m_dir;
};

TEST(HostPageClassId, IsTheControlsFixedClassIdInUpperCase) {
    // Host pages in the field carry this text; it must never change.
    EXPECT_EQ(ControlClassId(), "clsid:AA31AF6A-7213-44D3-A5A5-F146D45B568F");
}

TEST_F(HostPageFile, ValuesAreEntityDecodedAndKeptExactlyAndTheFirstOfANameWins) {
    // No charset declared: the page is read as UTF-8.
    const HostPageResult page = Read(Page(ControlObject(
        "<param name=\"Info.HttpRequestHeaders\" value=\"X-A: 1&#13;&#10;X-B: 2&#13;&#10;\">"
        "<param name=\"Info.ORXPath\" value=\"http://h/orx?a=1&amp;b=2\">"
        "<param name=\"Label.Title\" value=\"Caf\xC3\xA9 \xE4\xB8\xAD &eacute;\">"
        "<param name=\"S1.Name\" value=\"  padded  \">"
        "<param name=\"Msg.SynchComplete\" value=\"\">"
        "<param name=\"Msg.NoUsername\">"
        "<param value=\"nameless\"><param name=\"\" value=\"empty name\">"
        "<param name=\"S1.Name\" value=\"repeated\"><param name=\"s1.name\" value=\"case\">")));
    ASSERT_TRUE(page.ok) << page.error;
    const PropertyBag expected = {
        {u"Info.HttpRequestHeaders", u"X-A: 1\r\nX-B: 2\r\n"},
        {u"Info.ORXPath", u"http://h/orx?a=1&b=2"},
        {u"Label.Title", u"Caf\u00E9 \u4E2D \u00E9"},
        {u"S1.Name", u"  padded  "},
        {u"s1.name", u"case"},
        {u"Msg.SynchComplete", u""},
        {u"Msg.NoUsername", u""},
    };
    EXPECT_EQ(page.params, expected);
}

TEST_F(HostPageFile, OnlyDirectParamChildrenOfTheFirstControlObjectCount) {
    // Old-style upper-case markup, a lower-case class id, an object left open.
    std::string id = ControlClassId();
    std::transform(id.begin(), id.end(), id.begin(), ::tolower);
    const std::string control = "<P><OBJECT CLASSID=\"" + id + "\">";
    const HostPageResult page =
        Read(Page("<OBJECT CLASSID=\"clsid:1\"><PARAM NAME=a VALUE=x></OBJECT>" + control +
                  "<PARAM NAME=a VALUE=1><DIV><PARAM NAME=b VALUE=2></DIV><OBJECT CLASSID=x>"
                  "<PARAM NAME=c VALUE=3></OBJECT><PARAM NAME=d></P>" +
                  ControlObject("<param name=a value=second-object>")));
    ASSERT_TRUE(page.ok) << page.error;
    EXPECT_EQ(page.params, (PropertyBag{{u"a", u"1"}, {u"d", u""}}));

    // An object written as text (in a textarea, a title, ...) is none: the
    // browser makes the control of the one after it, and so do the commands.
    const std::string shown = ControlObject("<param name=a value=shown>");
    const HostPageResult quoted = Read(
        Page("<textarea>" + ControlObject("<param name=a value=text>") + "</textarea>" +
             "<noscript>" + ControlObject("<param name=a value=text>") + "</noscript>" + shown));
    ASSERT_TRUE(quoted.ok) << quoted.error;
    EXPECT_EQ(quoted.params, (PropertyBag{{u"a", u"shown"}}));
    EXPECT_FALSE(Read(Page("<title>" + shown + "</title>")).ok);
}

// The labels come out as the browser shows them, whatever the page's
// encoding and however it says so; a stray byte spoils only itself.
TEST_F(HostPageFile, PagesAreDecodedAsTheBrowserDecodesThem) {
    const std::string label = "<param name=t value=\"Caf\xC3\xA9 Z\xC3\xBCrich\">";
    struct Case {
        std::string bytes;
        std::string httpCharset;
        std::u16string label;
    };
    const Case cases[] = {
        // Declared in a <meta>, in both forms, and overridden by HTTP.
        {"<meta charset=\"windows-1252\">" + ControlObject("<param name=t value=\"\x80 \xE9\">"),
         "", u"\u20AC \u00E9"},
        {"<meta http-equiv=Content-Type content='text/html; charset=ISO-8859-1'>" +
             ControlObject("<param name=t value=\"Caf\xE9\">"),
         "", u"Caf\u00E9"},
        {"<meta charset=utf-8>" + ControlObject("<param name=t value=\"Caf\xE9\">"), "iso-8859-1",
         u"Caf\u00E9"},
        // UTF-8 with a stray byte before the object: the rest stays UTF-8.
        {"<p>\xFF</p>" + ControlObject(label), "utf-8", u"Caf\u00E9 Z\u00FCrich"},
        {"<!-- <meta charset=iso-8859-1> -->" + ControlObject(label), "", u"Caf\u00E9 Z\u00FCrich"},
        // Nothing declared: UTF-8 when it is that, the HTML default when not.
        {ControlObject(label), "", u"Caf\u00E9 Z\u00FCrich"},
        {ControlObject("<param name=t value=\"Caf\xE9\">"), "", u"Caf\u00E9"},
        // A byte-order mark beats every label.
        {std::string("\xFF\xFE<\0p\0>\0", 8) + ControlObject(label), "iso-8859-1", u""},
    };
    for (const Case& c : cases) {
        std::string bytes = c.bytes;
        std::u16string expected = c.label;
        if (bytes.starts_with("\xFF\xFE")) { // the page in UTF-16LE
            const std::u16string units = Utf8ToUtf16(Page(ControlObject(label)));
            bytes = "\xFF\xFE";
            for (const char16_t unit : units) {
                bytes += static_cast<char>(unit & 0xFF);
                bytes += static_cast<char>(unit >> 8);
            }
            expected = u"Caf\u00E9 Z\u00FCrich";
        } else {
            bytes = Page(bytes);
        }
        const HostPageResult page = ParseHostPage(bytes, "page", c.httpCharset);
        ASSERT_TRUE(page.ok) << c.bytes << ": " << page.error;
        EXPECT_EQ(page.params.at(u"t"), expected) << c.bytes;
    }
    EXPECT_EQ(CharsetOfContentType("text/html; Charset=\"ISO-8859-1\""), "iso-8859-1");
    EXPECT_EQ(CharsetOfContentType("text/html"), "");
}

TEST_F(HostPageFile, PagesThatGiveTheControlNothingSaySo) {
    const std::string path = Write("none.html", Page("<p>nothing here</p>"));
    const HostPageResult none = ReadHostPage(path);
    EXPECT_FALSE(none.ok);
    EXPECT_EQ(none.error,
              "host page " + path + ": no <object> element with classid " + ControlClassId());

    // Without the control's object, the first object with a class id is
    // the page's answer, for the host to name (the control named by its
    // ProgID is not created by a browser either).
    const HostPageResult others = Read(Page(
        "<object data=x></object><object classid=\"DRAVIK.DravikCtrl.1\"><param name=a value=1>"
        "</object>" +
        ControlObject("", "clsid:D27CDB6E-AE6D-11CF-96B8-444553540000")));
    ASSERT_TRUE(others.ok);
    EXPECT_EQ(others.classId, "DRAVIK.DravikCtrl.1");
    const HostPageResult ours =
        Read(Page(ControlObject("<param name=b>", "clsid:D27CDB6E-AE6D-11CF-96B8-444553540000") +
                  ControlObject("<param name=a>", "clsid:aa31af6a-7213-44d3-a5a5-f146d45b568f")));
    ASSERT_TRUE(ours.ok) << ours.error;
    EXPECT_EQ(ours.classId, "clsid:aa31af6a-7213-44d3-a5a5-f146d45b568f");
    EXPECT_EQ(ours.params.count(u"a"), 1u);
    EXPECT_EQ(Read(Page("<object data=x></object>")).error,
              "host page " + path.substr(0, path.rfind('/')) +
                  "/page.html: no <object> element "
                  "with classid " +
                  ControlClassId() + " (found 1 other <object> element)");

    for (const std::string& bytes : {std::string(), std::string("\x89PNG\r\n\x1A\n\0\0", 10)}) {
        const HostPageResult notHtml = Read(bytes);
        EXPECT_FALSE(notHtml.ok);
        EXPECT_TRUE(Mentions(notHtml.error, "no <object> element"));
    }
    for (const char* inner : {"", "<div><param name=a value=1></div>"}) {
        const HostPageResult page = Read(Page(ControlObject(inner)));
        EXPECT_FALSE(page.ok);
        EXPECT_TRUE(Mentions(page.error, ": the <object> element has no <param> children"));
    }
    // A nameless <param> is still a child: the page is read, giving nothing.
    const HostPageResult nameless = Read(Page(ControlObject("<param value=x>")));
    EXPECT_TRUE(nameless.ok) << nameless.error;
    EXPECT_TRUE(nameless.params.empty());
}

TEST_F(HostPageFile, UnreadableFilesNameThePathAndTheReason) {
    const std::string missing = (m_dir / "missing.html").string();
    EXPECT_EQ(ReadHostPage(missing).error, "host page " + missing + ": No such file or directory");
    EXPECT_EQ(ReadHostPage(m_dir.string()).error,
              "host page " + m_dir.string() + ": Is a directory");

    const std::string large = Write("large.html", std::string((16u << 20) + 1, ' '));
    EXPECT_TRUE(Mentions(ReadHostPage(large).error, "larger than 16 MiB"));

    if (::geteuid() != 0) { // root reads whatever the mode says
        const std::string locked = Write("locked.html", Page(ControlObject("")));
        fs::permissions(locked, fs::perms::none);
        EXPECT_EQ(ReadHostPage(locked).error, "host page " + locked + ": Permission denied");
    }
}

class HostPageUrl : public ::testing::Test {
  protected:
    void SetUp() override { ASSERT_TRUE(OpenInternetSession()); }
    void TearDown() override { CloseInternetSession(); }

    testsupport::CacheHome cache;
    TestServer site;
};

TEST_F(HostPageUrl, PageIsReadInItsServedCharsetAndKeptOutOfTheCache) {
    const std::string url = site.Origin() + "/app/host.html";
    site.Page("/app/host.html", Page(ControlObject("<param name=Info.UserName value=Z\xFCrich>")),
              "text/html; charset=ISO-8859-1");
    const HostPageResult page = ReadHostPage(url);
    ASSERT_TRUE(page.ok) << page.error;
    EXPECT_EQ(page.params, (PropertyBag{{u"Info.UserName", u"Z\u00FCrich"}}));
    EXPECT_FALSE(testsupport::LookUp(testsupport::W(url)).found);
    // The served charset holds even where the page is not well-formed in it.
    site.Page("/app/utf8.html",
              "<p>\xFF</p>" + Page(ControlObject("<param name=a value=Z\xC3\xBCrich>")),
              "text/html; charset=utf-8");
    EXPECT_EQ(ReadHostPage(site.Origin() + "/app/utf8.html").params,
              (PropertyBag{{u"a", u"Z\u00FCrich"}}));
}

TEST_F(HostPageUrl, FailuresNameTheStatusOrTheError) {
    const std::string missing = site.Origin() + "/gone.html";
    EXPECT_EQ(ReadHostPage(missing).error,
              "host page " + missing + ": the server answered with status 404");

    const std::string closed =
        "http://127.0.0.1:" + std::to_string(testsupport::ClosedPort()) + "/host.html";
    EXPECT_TRUE(
        Mentions(ReadHostPage(closed).error,
                 ": the request failed: the connection to the server failed (error 12029)"));

    EXPECT_TRUE(Mentions(ReadHostPage("ftp://127.0.0.1/host.html").error,
                         ": not a valid http or https URL"));

    CloseInternetSession();
    EXPECT_TRUE(Mentions(ReadHostPage(site.Origin() + "/host.html").error,
                         ": the internet session is not open"));
}

} // namespace
