// Compiles the precompiled headers every test shares.
