// Fuzz target: the stored page loader. Properties: any bytes decode or are refused without a crash;
// a decoded page survives the reader's copy unchanged (decode of copyBytes gives the same page); its
// parts follow each other without gap or overlap and cover the whole text.
#include "FuzzCheck.h"
#include "richtext/PageSource.h"

using namespace richtext;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const QByteArray in = fuzzcheck::bytes(data, size);
    PageSource copy;
    (void)source::decode(in, 3, copy); // a damaged copy is refused, never a crash
    PageSource page;
    if (!source::decode(in, 9, page))
        return 0;
    PageSource back;
    fuzzcheck::check(source::decode(source::copyBytes(page), 3, back) && back == page,
                     "the reader's copy gives the same page", page.text.left(200));
    const QVector<PagePart> parts = source::partition(page);
    fuzzcheck::check(!parts.isEmpty(), "a page has a part");
    qsizetype at = 0;
    for (const PagePart& p : parts) {
        fuzzcheck::check(p.start == at && p.end >= p.start, "parts follow each other", page.text.left(200));
        at = p.end;
    }
    fuzzcheck::check(at == page.text.size() || page.kind == PageSource::Kind::Empty, "parts cover the text",
                     page.text.left(200));
    (void)source::htmlForFile(page);
    return 0;
}
