#!/bin/sh
echo b
