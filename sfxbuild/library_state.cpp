// Placeholder until the library state is written.
