// Replaced by the book builders.
