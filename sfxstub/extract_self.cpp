// Placeholder until the extraction run is written.
