// The question asked when the HTML source is left with changes: Yes saves,
// No discards, and "Do not prompt again" makes the answer the stored choice.
#pragma once

#include "app/source_view.h"

class QWidget;

// Shows the question over parent and returns the answer.
CKestrovaView::SaveAnswer askSaveSource(QWidget* parent);
