// Placeholder until the first sources of this folder land.
