// Decodes arbitrary bytes as a widget snapshot, then runs what the widget does with one.
#include <cstdint>
#include <cstdlib>

#include "widget/scope_query.h"
#include "widget/timeline.h"

using namespace nolt::widget;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  std::string_view text(reinterpret_cast<const char*>(data), size);
  std::optional<WidgetSnapshot> snapshot = WidgetSnapshot::decode(text);
  if (!snapshot) return 0;
  for (const auto& item : snapshot->items)
    if (!UUID::parse(item.id.uuidString())) std::abort();
  Provider provider([&] { return *snapshot; });
  std::optional<UUID> scope;
  if (!snapshot->collections.empty()) scope = snapshot->collections.front().id;
  Entry entry = provider.entry(1767225600, {scope}, Family::systemLarge);
  if (entry.items.size() > 4 || entry.items.size() > snapshot->items.size()) std::abort();
  (void)ScopeQuery([&] { return *snapshot; }).suggestedEntities();
  return 0;
}
