[install]
Text first - - h1 First value?
Text second - - h2 Second value?
Text third - - h3 Third value?
