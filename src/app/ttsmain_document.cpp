#include "app/ttsmain.h"

// The buttons that fill and style the document, and the help button.

// Opens a .txt or .rtf file into the document.
void ttsmain::Command3_Click() {}

// Saves the document as a text or sound file.
void ttsmain::Command4_Click() {}

// Chooses the document's font and text colour.
void ttsmain::Command2_Click() {}

// Chooses the document's back colour.
void ttsmain::Command1_Click() {}

// Shows or hides the text box at the user's click.
void ttsmain::Check1_Click() {}

// Shows the help window, not modal.
void ttsmain::Command8_Click() {}
