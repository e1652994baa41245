// Replaced as the device link grows.
