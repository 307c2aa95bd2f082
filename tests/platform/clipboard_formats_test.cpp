#include <gtest/gtest.h>

#include <cstring>
#include <set>
#include <string>

#include "VantrelSh.h"
#include "support/child_process.h"

namespace {

struct FormatPair {
    const char* name;
    const wchar_t* registeredName;  // null for the built-in text format
    UINT(WINAPI* get)(FORMATETC*);
    HRESULT(WINAPI* is)(const FORMATETC*);
};

const FormatPair kPairs[] = {
    {"ItemID", VTLS_CFSTR_ITEMID, VtlsGetItemIDFormat, VtlsIsItemIDFormat},
    {"ItemIDList", VTLS_CFSTR_ITEMIDARRAY, VtlsGetItemIDListFormat, VtlsIsItemIDListFormat},
    {"DataSource", VTLS_CFSTR_DATASOURCE, VtlsGetDataSourceFormat, VtlsIsDataSourceFormat},
    {"DataSourceList", VTLS_CFSTR_DATASOURCEARRAY, VtlsGetDataSourceListFormat, VtlsIsDataSourceListFormat},
    {"Server", VTLS_CFSTR_SERVER, VtlsGetServerFormat, VtlsIsServerFormat},
    {"Text", nullptr, VtlsGetTextFormat, VtlsIsTextFormat},
};

std::wstring FormatName(UINT id) {
    wchar_t name[128] = {};
    const int length = GetClipboardFormatNameW(id, name, 128);
    return std::wstring(name, length > 0 ? length : 0);
}

TEST(ClipboardFormats, EachGetReturnsItsRegisteredFormat) {
    std::set<UINT> ids;
    for (const FormatPair& pair : kPairs) {
        SCOPED_TRACE(pair.name);
        const UINT id = pair.get(nullptr);
        if (pair.registeredName == nullptr) {
            EXPECT_EQ(id, static_cast<UINT>(CF_TEXT));
        } else {
            EXPECT_GE(id, 0xC000u);
            EXPECT_LE(id, 0xFFFFu);
            EXPECT_EQ(FormatName(id), pair.registeredName);
            // Registering the name again yields the id the library holds.
            EXPECT_EQ(RegisterClipboardFormatW(pair.registeredName), id);
        }
        ids.insert(id);
    }
    EXPECT_EQ(ids.size(), std::size(kPairs));
}

TEST(ClipboardFormats, GetFillsEveryFieldForGlobalMemory) {
    for (const FormatPair& pair : kPairs) {
        SCOPED_TRACE(pair.name);
        FORMATETC format;
        std::memset(&format, 0xCD, sizeof(format));
        const UINT id = pair.get(&format);
        EXPECT_EQ(id, pair.get(nullptr));
        EXPECT_EQ(format.cfFormat, static_cast<CLIPFORMAT>(id));
        EXPECT_EQ(format.ptd, nullptr);
        EXPECT_EQ(format.dwAspect, static_cast<DWORD>(DVASPECT_CONTENT));
        EXPECT_EQ(format.lindex, -1);
        EXPECT_EQ(format.tymed, static_cast<DWORD>(TYMED_HGLOBAL));
        EXPECT_EQ(pair.is(&format), S_OK);
    }
}

TEST(ClipboardFormats, EachIsAcceptsOnlyItsOwnFormat) {
    for (const FormatPair& offered : kPairs) {
        FORMATETC format{};
        offered.get(&format);
        for (const FormatPair& checker : kPairs) {
            SCOPED_TRACE(std::string(offered.name) + " checked by " + checker.name);
            EXPECT_EQ(checker.is(&format), &offered == &checker ? S_OK : DV_E_FORMATETC);
        }
    }
}

TEST(ClipboardFormats, IsReportsTheFirstMismatchInOrder) {
    struct Case {
        const char* what;
        DWORD aspect;
        LONG lindex;
        DWORD tymed;
        bool withDevice;
        HRESULT expected;
    };
    const Case cases[] = {
        {"global memory and stream", DVASPECT_CONTENT, -1, TYMED_HGLOBAL | TYMED_ISTREAM, false, S_OK},
        {"stream alone", DVASPECT_CONTENT, -1, TYMED_ISTREAM, false, DV_E_TYMED},
        {"aspect bits", DVASPECT_CONTENT | DVASPECT_THUMBNAIL, -1, TYMED_HGLOBAL, false, DV_E_DVASPECT},
        {"aspect before index", DVASPECT_THUMBNAIL, 0, TYMED_HGLOBAL, false, DV_E_DVASPECT},
        {"index", DVASPECT_CONTENT, 0, TYMED_HGLOBAL, false, DV_E_LINDEX},
        {"target device ignored", DVASPECT_CONTENT, -1, TYMED_HGLOBAL, true, S_OK},
    };
    DVTARGETDEVICE device{};
    for (const FormatPair& pair : kPairs) {
        for (const Case& c : cases) {
            SCOPED_TRACE(std::string(pair.name) + ": " + c.what);
            FORMATETC format{static_cast<CLIPFORMAT>(pair.get(nullptr)), c.withDevice ? &device : nullptr,
                             c.aspect, c.lindex, c.tymed};
            EXPECT_EQ(pair.is(&format), c.expected);
        }
    }
}

TEST(ClipboardFormats, TextRejectsUnicodeText) {
    FORMATETC format{CF_UNICODETEXT, nullptr, DVASPECT_CONTENT, -1, TYMED_HGLOBAL};
    EXPECT_EQ(VtlsIsTextFormat(&format), DV_E_FORMATETC);
}

TEST(ClipboardFormats, IsRefusesNull) {
    for (const FormatPair& pair : kPairs) {
        EXPECT_EQ(pair.is(nullptr), E_INVALIDARG) << pair.name;
    }
}

TEST(ClipboardFormats, IdsAgreeAcrossProcesses) {
    const auto child = vtls::test::RunChild(L"vtls_probe.exe", L"clipboard-ids");
    ASSERT_TRUE(child.has_value());
    ASSERT_EQ(child->exitCode, 0u) << child->output;
    const auto report = vtls::test::ParseReport(child->output);
    const struct {
        const char* exportName;
        UINT ours;
    } expected[] = {
        {"VtlsGetItemIDFormat", VtlsGetItemIDFormat(nullptr)},
        {"VtlsGetItemIDListFormat", VtlsGetItemIDListFormat(nullptr)},
        {"VtlsGetDataSourceFormat", VtlsGetDataSourceFormat(nullptr)},
        {"VtlsGetDataSourceListFormat", VtlsGetDataSourceListFormat(nullptr)},
        {"VtlsGetServerFormat", VtlsGetServerFormat(nullptr)},
        {"VtlsGetTextFormat", VtlsGetTextFormat(nullptr)},
    };
    for (const auto& entry : expected) {
        ASSERT_EQ(report.count(entry.exportName), 1u) << child->output;
        EXPECT_EQ(std::stoul(report.at(entry.exportName)), entry.ours) << entry.exportName;
    }
    // The stream format is registered by loading the library, though no export hands it out.
    EXPECT_EQ(report.at("stream-format-after"), "1");
}

}  // namespace
