#pragma once

class QLineEdit;

namespace kv {

// Turns on a text field's clear button, named for a screen reader ("Clear"), which Qt leaves unnamed.
void enableClearButton(QLineEdit* field);

}  // namespace kv
