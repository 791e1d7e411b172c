[install]
Text first - - h1 First
Copy copied - - h2 first
Text second - - h3 Second, after $(copied)
Text third - - h4 Third
