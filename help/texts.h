// The fixed texts of the help window: the opening text and one text per topic label.
#pragma once
#include <string_view>

namespace help {

// Shown in the display whenever the help window loads.
std::string_view openingText();

// The text of the topic that `label` owns (its own click handler's text), or "" for a label
// that owns none (a label that shares another's text, a file topic, the display itself).
std::string_view topicText(std::string_view label);

}  // namespace help
