[remove]
YN keep - - h1 Keep the data
