#pragma once
// The documents of the classic book, written as trees in its layout (one
// line each, code page 936 text) so they come out exactly as its fixed
// templates read: the page frame, content.opf and toc.ncx for parts
// 0.html, 1.html ...
#include <cstddef>
#include <string>
#include <string_view>

#include "conversion/layout/BookLayout.h"

namespace qm {

// The frame every classic page shares: 222 characters around its body.
const TPageFrame& ClassicPageFrame();

// content.opf listing the parts; title and author in code page 936.
std::string ClassicPackageDocument(std::string_view title, std::string_view author, size_t parts);

// toc.ncx: one point per part, labelled "label(k)" counting from 1.
std::string ClassicNcxDocument(std::string_view label, size_t parts);

}  // namespace qm
