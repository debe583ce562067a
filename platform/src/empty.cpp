// Placeholder for a service group that has no sources yet.
