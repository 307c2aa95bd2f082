// The clipboard-format exports. The field checks in detail are in
// portable/format_rules_test.cpp; here each pair shows the export applies them.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "VantrelSh.h"
#include "support/child_process.h"

namespace {

struct FormatPair {
    const char* exportName;
    const wchar_t* registeredName;  // null for the built-in text format
    UINT(WINAPI* get)(FORMATETC*);
    HRESULT(WINAPI* is)(const FORMATETC*);
};

const FormatPair kPairs[] = {
    {"VtlsGetItemIDFormat", VTLS_CFSTR_ITEMID, VtlsGetItemIDFormat, VtlsIsItemIDFormat},
    {"VtlsGetItemIDListFormat", VTLS_CFSTR_ITEMIDARRAY, VtlsGetItemIDListFormat, VtlsIsItemIDListFormat},
    {"VtlsGetDataSourceFormat", VTLS_CFSTR_DATASOURCE, VtlsGetDataSourceFormat, VtlsIsDataSourceFormat},
    {"VtlsGetDataSourceListFormat", VTLS_CFSTR_DATASOURCEARRAY, VtlsGetDataSourceListFormat, VtlsIsDataSourceListFormat},
    {"VtlsGetServerFormat", VTLS_CFSTR_SERVER, VtlsGetServerFormat, VtlsIsServerFormat},
    {"VtlsGetTextFormat", nullptr, VtlsGetTextFormat, VtlsIsTextFormat},
};

TEST(ClipboardFormats, EachGetGivesItsRegisteredFormatForGlobalMemoryAndOnlyItsIsAcceptsIt) {
    // Each Is rejecting the other pairs' formats also shows the ids differ.
    for (const FormatPair& pair : kPairs) {
        FORMATETC format;
        std::memset(&format, 0xCD, sizeof(format));
        const UINT id = pair.get(&format);
        EXPECT_EQ(id, pair.get(nullptr));
        EXPECT_EQ(id, pair.registeredName != nullptr ? RegisterClipboardFormatW(pair.registeredName) : UINT{CF_TEXT});
        EXPECT_TRUE(format.cfFormat == id && format.ptd == nullptr && format.dwAspect == DVASPECT_CONTENT &&
                    format.lindex == -1 && format.tymed == TYMED_HGLOBAL)
            << pair.exportName;
        for (const FormatPair& checker : kPairs) {
            EXPECT_EQ(checker.is(&format), &pair == &checker ? S_OK : DV_E_FORMATETC) << pair.exportName;
        }
        // The platform's own code for a medium other than global memory.
        const FORMATETC stream{format.cfFormat, nullptr, DVASPECT_CONTENT, -1, TYMED_ISTREAM};
        EXPECT_EQ(pair.is(&stream), static_cast<HRESULT>(0x80040069)) << "DV_E_TYMED";
        EXPECT_EQ(pair.is(nullptr), E_INVALIDARG);
    }
}

TEST(ClipboardFormats, IdsAgreeAcrossProcesses) {
    const auto child = vtls::test::RunChild(L"vtls_probe.exe", L"load-report");
    ASSERT_TRUE(child && child->exitCode == 0) << (child ? child->output : "no child");
    const auto report = vtls::test::ParseReport(child->output);
    for (const FormatPair& pair : kPairs) {
        ASSERT_EQ(report.count(pair.exportName), 1u) << child->output;
        EXPECT_EQ(std::stoul(report.at(pair.exportName)), pair.get(nullptr)) << pair.exportName;
    }
    // The stream format is registered by loading the library, though no export hands it out.
    EXPECT_EQ(report.at("stream-format-after"), "1");
}

}  // namespace
