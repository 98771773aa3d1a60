// Shared test helpers live in this folder, one file per area (FTP servers, Wine-style prefixes).
