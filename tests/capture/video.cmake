# Video capture tests.
