# Audio capture tests.
