#include "capture/parsed_html.h"

#include <cstdlib>
#include <utility>
#include <vector>

#include "capture/nesting_limit.h"

namespace velkin::capture {

bool isContainer(const GumboNode* node) {
  return node->type == GUMBO_NODE_DOCUMENT || node->type == GUMBO_NODE_ELEMENT ||
         node->type == GUMBO_NODE_TEMPLATE;
}

const GumboVector& childrenOf(const GumboNode* node) {
  return node->type == GUMBO_NODE_DOCUMENT ? node->v.document.children : node->v.element.children;
}

GumboNode* childAt(const GumboVector& children, size_t index) {
  return static_cast<GumboNode*>(children.data[index]);
}

namespace {

// The parser frees its tree recursively, one call per level; a hostile page
// of a few hundred thousand nested elements would overflow the stack. The
// nesting limit keeps trees near its depth, but the parser may still nest
// deeper than it models (reopening formatting elements, for one), so trees
// deeper than this are flattened first (see ParsedHtml).
constexpr size_t kDeepTree = 1000;

// The parser's memory comes from malloc, so that a flattened tree's
// children arrays can be replaced with arrays of our own.
void* allocate(void* /*userdata*/, size_t size) { return std::malloc(size); }
void deallocate(void* /*userdata*/, void* pointer) { std::free(pointer); }

GumboVector& mutableChildrenOf(GumboNode* node) {
  return node->type == GUMBO_NODE_DOCUMENT ? node->v.document.children : node->v.element.children;
}

size_t treeDepth(const GumboNode* document) {
  size_t deepest = 0;
  std::vector<std::pair<const GumboNode*, size_t>> pending{{document, 0}};
  while (!pending.empty()) {
    const auto [node, depth] = pending.back();
    pending.pop_back();
    if (depth > deepest) deepest = depth;
    if (!isContainer(node)) continue;
    const GumboVector& children = childrenOf(node);
    for (unsigned i = 0; i < children.length; ++i) pending.emplace_back(childAt(children, i), depth + 1);
  }
  return deepest;
}

// Makes every node a direct child of the document (each element keeps its
// own, now empty, children array for the parser to free). False when the
// new array cannot be allocated.
bool flatten(GumboNode* document) {
  std::vector<GumboNode*> nodes;
  std::vector<GumboNode*> pending{document};
  while (!pending.empty()) {
    GumboNode* node = pending.back();
    pending.pop_back();
    if (!isContainer(node)) continue;
    GumboVector& children = mutableChildrenOf(node);
    for (unsigned i = 0; i < children.length; ++i) {
      nodes.push_back(childAt(children, i));
      pending.push_back(nodes.back());
    }
    if (node != document) children.length = 0;
  }
  void** array = static_cast<void**>(std::malloc((nodes.size() + 1) * sizeof(void*)));
  if (array == nullptr) return false;
  for (size_t i = 0; i < nodes.size(); ++i) array[i] = nodes[i];
  GumboVector& top = document->v.document.children;
  std::free(top.data);
  top.data = array;
  top.length = static_cast<unsigned>(nodes.size());
  top.capacity = static_cast<unsigned>(nodes.size() + 1);
  return true;
}

}  // namespace

ParsedHtml::ParsedHtml(std::string_view source) : text_(limitNesting(source)) {
  const std::string_view html = text_;
  options_ = kGumboDefaultOptions;
  options_.allocator = allocate;
  options_.deallocator = deallocate;
  options_.userdata = nullptr;
  options_.max_errors = 0;  // parse errors are of no use here
  output_ = gumbo_parse_with_options(&options_, html.empty() ? "" : html.data(), html.size());
}

ParsedHtml::~ParsedHtml() {
  if (output_ == nullptr) return;
  if (treeDepth(output_->document) > kDeepTree && !flatten(output_->document)) {
    return;  // out of memory: leaking the tree beats crashing
  }
  gumbo_destroy_output(&options_, output_);
}

}  // namespace velkin::capture
