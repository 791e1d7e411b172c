# b steps back exactly one entry: to the question before, or to a computed entry
[install]
Text first - - h1 First value?
Text second - - h2 Second value?
Copy mirror - - h3 second
Text third - - h4 Third value?
