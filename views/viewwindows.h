#pragma once

#include "platform/forms/forms.h"

namespace kv {

// The multi-panel, two-panel and single-panel windows: their handlers and their load steps.
void wireMultiPanel(Form& form3);
void loadMultiPanel(Form& form3);
void wireTwoPanel(Form& dublpanl);
void loadTwoPanel(Form& dublpanl);
void wireSinglePanel(Form& big);
void loadSinglePanel(Form& big);

}  // namespace kv
